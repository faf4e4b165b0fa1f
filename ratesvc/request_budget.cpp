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

void CRequestBudget::OnBytes(Clock::time_point now) {
    if (!m_bIdle) return;
    m_bIdle = false;
    m_requestStart = now;
}

}  // namespace ratesvc
