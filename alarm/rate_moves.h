// How far the rate has moved within the last minutes: the polled rates kept
// with their times, so a move alert can weigh the newest rate against every
// rate that was in force during the window.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>

class CRateMoves {
public:
    // A poll's rate at time now (seconds). Only changes are kept: an
    // unchanged rate was in force since the last change anyway. Rates older
    // than the window are dropped, all but the one in force at its start.
    void Add(std::int64_t now, double rate, std::int64_t windowSeconds);
    // The largest move in percent of rate against any rate in force during
    // the window before now, signed (a rise is positive); none when nothing
    // earlier is known.
    std::optional<double> MovePercent(std::int64_t now, double rate, std::int64_t windowSeconds) const;
    void Clear() { m_samples.clear(); }
    size_t size() const { return m_samples.size(); }

private:
    struct Sample {
        std::int64_t time;
        double rate;
    };
    std::deque<Sample> m_samples;
};
