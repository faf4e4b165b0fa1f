#include "monitor/rate_history.h"

#include <stdexcept>

CRateHistory RateHistory;

void CRateHistory::Reset() {
    slots_.assign(kCapacity, 0.0);
    head_ = 0;
}

void CRateHistory::Push(double rate) {
    if (slots_.empty()) throw std::logic_error("Circular buffer has zero size!");
    slots_[static_cast<size_t>(head_)] = rate;
    head_ = (head_ + 1) % capacity();
}

double CRateHistory::Newest(int k) const {
    const int n = capacity();
    if (n == 0 || k < 0 || k >= n) return 0.0;
    return slots_[static_cast<size_t>(((head_ - 1 - k) % n + n) % n)];
}

bool CRateHistory::IsEmpty() const { return capacity() == 0 || Newest(0) <= 0.0; }

bool CRateHistory::IsFull() const { return capacity() > 0 && Newest(capacity() - 1) > 0.0; }
