#include "alarm/rate_moves.h"

#include <cmath>

void CRateMoves::Add(std::int64_t now, double rate, std::int64_t windowSeconds) {
    // A clock set back makes the kept times meaningless.
    if (!m_samples.empty() && m_samples.back().time > now) m_samples.clear();
    if (m_samples.empty() || m_samples.back().rate != rate) m_samples.push_back({now, rate});
    // The rate in force at the window's start is the last one before it.
    const std::int64_t start = now - windowSeconds;
    while (m_samples.size() > 1 && m_samples[1].time <= start) m_samples.pop_front();
}

std::optional<double> CRateMoves::MovePercent(std::int64_t now, double rate, std::int64_t windowSeconds) const {
    const std::int64_t start = now - windowSeconds;
    std::optional<double> largest;
    for (size_t i = 0; i < m_samples.size(); ++i) {
        const Sample& s = m_samples[i];
        // Earlier than the start counts only while it was still in force then.
        if (s.time < start && i + 1 < m_samples.size() && m_samples[i + 1].time <= start) continue;
        if (s.time >= now && s.rate == rate) continue;  // the rate itself
        if (!(s.rate > 0.0)) continue;
        const double move = (rate / s.rate - 1.0) * 100.0;
        if (!largest || std::fabs(move) > std::fabs(*largest)) largest = move;
    }
    return largest;
}
