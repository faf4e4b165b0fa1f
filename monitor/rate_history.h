// The last 100 polled rates, newest first for the chart. A sample of 0.0 or
// below is an empty slot: no service answers a rate of zero.
#pragma once

#include <vector>

class CRateHistory {
public:
    static constexpr int kCapacity = 100;

    // Capacity 100, every slot empty, head at 0.
    void Reset();
    // Throws std::logic_error before the first Reset.
    void Push(double rate);
    // k = 0 is the newest sample, up to capacity() - 1.
    double Newest(int k) const;
    int capacity() const { return static_cast<int>(slots_.size()); }
    bool IsEmpty() const;
    bool IsFull() const;

private:
    std::vector<double> slots_;
    int head_ = 0;  // the slot the next sample overwrites
};

// The one history of the process: the poll fills it, the chart draws it.
extern CRateHistory RateHistory;
