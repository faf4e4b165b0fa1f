// A currency pair as a cell of the import holds it: the first three
// characters name the source currency, the last three the target, whatever
// stands between ("USD/JPY", "USD-JPY" and "USDJPY" are the same pair).
#pragma once

#include <optional>
#include <string_view>

namespace excel {

struct CurrencyPair {
    int from;  // currency indices 0..150
    int to;
};

// Both codes found among the 151 codes, exactly and case-sensitively; nothing
// when either is missing or the text is shorter than one code.
std::optional<CurrencyPair> LookupPair(std::string_view text);

}  // namespace excel
