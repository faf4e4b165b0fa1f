#include "request_budget.h"

#include <algorithm>

namespace ratesvc {

std::chrono::milliseconds CRequestBudget::NextWait(Clock::time_point now) const {
    using std::chrono::milliseconds;
    if (m_bIdle) return m_limits.idleTimeout;
    const auto left = std::chrono::duration_cast<milliseconds>(m_requestStart + m_limits.requestDeadline - now);
    if (left <= milliseconds::zero()) return milliseconds::zero();
    return std::min(left, m_limits.receiveTimeout);
}

std::chrono::milliseconds IdleBound(std::chrono::milliseconds idleTimeout, int open, int max) {
    using std::chrono::milliseconds;
    if (max <= 0 || open * 2 <= max) return idleTimeout;
    const int free = std::max(max - open, 0);
    return std::max(milliseconds(1000), idleTimeout * free / (max - max / 2));
}

void CRequestBudget::OnBytes(Clock::time_point now) {
    if (!m_bIdle) return;
    m_bIdle = false;
    m_requestStart = now;
}

}  // namespace ratesvc
