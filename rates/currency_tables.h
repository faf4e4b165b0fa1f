// The fixed currency list, laid out by currency index 0..150. The index is what
// the pickers' positions mean, what the settings store, and what is sent to
// both rate services (as a Currency code or as a country name).
#pragma once

#include <array>
#include <string_view>

#include "transport/soap_tables.h"

namespace rates {

enum CurrencyIndex {
#define ZELVANE_CURRENCY(code, name, country) kCurrency_##code,
#include "rates/currency_list.inc"
#undef ZELVANE_CURRENCY
    kCurrencyCount
};
static_assert(kCurrencyCount == 151, "the currency list has 151 entries");

constexpr int kDefaultCurrency1 = kCurrency_USD;  // 138
constexpr int kDefaultCurrency2 = kCurrency_JPY;  // 61

// "USD-U.S. Dollar": the pickers' texts.
extern const std::array<const char*, kCurrencyCount> kCurrencyList;

// Three-letter codes in index order.
extern const std::array<const char*, kCurrencyCount> CurrencyCodes;

// Country names sent to the exchange-rate service; ten are empty. Callers pass
// only picker positions that are not -1.
extern const std::array<const char*, kCurrencyCount> CountryNames;

// The Currency enumeration of the conversion-rate service.
extern const soap::SoapEnumInfo CurrencyEnum;

// The three-letter code at a currency index; `none` for any other index
// (-1: nothing chosen).
const char* CurrencyCode(int index, const char* none);

// Index of a three-letter code (exact, case-sensitive), or -1.
int FindCurrencyCode(std::string_view code);

}  // namespace rates
