#include "rates/currency_tables.h"

#include "rates/service_defaults.h"

namespace rates {

const std::array<const char*, kCurrencyCount> kCurrencyList = {
#define ZELVANE_CURRENCY(code, name, country) #code "-" name,
#include "rates/currency_list.inc"
#undef ZELVANE_CURRENCY
};

const std::array<const char*, kCurrencyCount> CurrencyCodes = {
#define ZELVANE_CURRENCY(code, name, country) #code,
#include "rates/currency_list.inc"
#undef ZELVANE_CURRENCY
};

const std::array<const char*, kCurrencyCount> CountryNames = {
#define ZELVANE_CURRENCY(code, name, country) country,
#include "rates/currency_list.inc"
#undef ZELVANE_CURRENCY
};

namespace {

constexpr soap::SoapEnumEntry kCurrencyEntries[] = {
#define ZELVANE_CURRENCY(code, name, country) \
    {soap::NameHash(u"" #code), #code, u"" #code, 3, kCurrency_##code},
#include "rates/currency_list.inc"
#undef ZELVANE_CURRENCY
    {0, nullptr, nullptr, 0, 0},
};

}  // namespace

const soap::SoapEnumInfo CurrencyEnum = {
    soap::kKindEnum,
    soap::NameHash(u"Currency"),
    "Currency",
    u"Currency",
    8,
    // The compiled default namespace: only array writing would put it on the
    // wire, and no currency arrays are sent.
    kDefaultConversionRateNamespace,
    kDefaultConversionRateNamespaceW,
    soap::NameHash(kDefaultConversionRateNamespaceW),
    static_cast<int>(sizeof(kDefaultConversionRateNamespace) - 1),
    kCurrencyEntries,
    kCurrencyCount,
};

const char* CurrencyCode(int index, const char* none) {
    return index >= 0 && index < kCurrencyCount ? CurrencyCodes[static_cast<size_t>(index)] : none;
}

int FindCurrencyCode(std::string_view code) {
    for (int i = 0; i < kCurrencyCount; ++i)
        if (code == CurrencyCodes[i]) return i;
    return -1;
}

}  // namespace rates
