#include "excel/currency_pair.h"

#include "rates/currency_tables.h"

namespace excel {

std::optional<CurrencyPair> LookupPair(std::string_view text) {
    constexpr size_t kCodeLength = 3;
    if (text.size() < kCodeLength) return std::nullopt;
    const int from = rates::FindCurrencyCode(text.substr(0, kCodeLength));
    const int to = rates::FindCurrencyCode(text.substr(text.size() - kCodeLength));
    // A miss is -1: it must never reach the code or country tables.
    if (from < 0 || to < 0) return std::nullopt;
    return CurrencyPair{from, to};
}

}  // namespace excel
