#include "rate_checks.h"

#include <cmath>

namespace ratesvc {

bool IsIsoDate(std::string_view text) {
    UnixSeconds day = 0;
    return ParseIsoDate(text, day);
}

bool IsPlausiblePerEuro(double perEuro) { return perEuro >= kMinPerEuro && perEuro <= kMaxPerEuro; }

bool IsAnswerableRate(double rate) {
    if (!std::isnormal(rate) || rate < 1 / kMaxAnswerRate || rate > kMaxAnswerRate) return false;
    return std::isnormal(static_cast<float>(rate));
}

bool IsDatedAfterTomorrow(const CRateTable& table, UnixSeconds now) {
    UnixSeconds day = 0;
    return ParseIsoDate(table.m_strDate, day) && day > LatestTrustedDate(now);
}

bool MayReplace(const CRateTable* inForce, const CRateTable& candidate, std::string& why) {
    if (!inForce) return true;
    // Both dates are YYYY-MM-DD, so text order is date order.
    if (candidate.m_strDate < inForce->m_strDate) {
        why = "dated " + candidate.m_strDate + ", before the rates in force";
        return false;
    }
    for (const char* major : kMajorCurrencies)
        if (inForce->m_perEuro.count(major) && !candidate.m_perEuro.count(major)) {
            why = std::string("no rate for ") + major;
            return false;
        }
    size_t kept = 0;
    for (const auto& entry : inForce->m_perEuro) kept += candidate.m_perEuro.count(entry.first);
    if (kept * 2 < inForce->m_perEuro.size()) {
        why = "only " + std::to_string(kept) + " of the " + std::to_string(inForce->m_perEuro.size()) +
              " currencies in force";
        return false;
    }
    return true;
}

}  // namespace ratesvc
