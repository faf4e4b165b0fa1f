#include "rate_checks.h"

#include <cmath>

namespace ratesvc {

namespace {

bool Digits(std::string_view s, int& value) {
    value = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    return true;
}

}  // namespace

bool IsIsoDate(std::string_view text) {
    int year = 0, month = 0, day = 0;
    if (text.size() != 10 || text[4] != '-' || text[7] != '-' || !Digits(text.substr(0, 4), year) ||
        !Digits(text.substr(5, 2), month) || !Digits(text.substr(8, 2), day))
        return false;
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1) return false;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return day <= kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

bool IsPlausiblePerEuro(double perEuro) { return perEuro >= kMinPerEuro && perEuro <= kMaxPerEuro; }

bool IsAnswerableRate(double rate) {
    if (!std::isnormal(rate) || rate < 1 / kMaxCrossRate || rate > kMaxCrossRate) return false;
    return std::isnormal(static_cast<float>(rate));
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
