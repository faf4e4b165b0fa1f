#include "rate_lookup.h"

#include <unordered_map>

#include "legacy_codes.h"
#include "printable.h"
#include "rate_book.h"

namespace ratesvc {

namespace {

struct CurrencyRow {
    const char* code;
    const char* country;
};

constexpr CurrencyRow kRows[] = {
#define ZELVANE_CURRENCY(code, name, country) {#code, country},
#include "rates/currency_list.inc"
#undef ZELVANE_CURRENCY
};

const std::unordered_map<std::string_view, const char*>& CountryMap() {
    static const std::unordered_map<std::string_view, const char*> map = [] {
        std::unordered_map<std::string_view, const char*> m;
        // Later rows overwrite earlier ones: "turkey" ends as TRY (index 150),
        // not TRL (137).
        for (const CurrencyRow& row : kRows)
            if (*row.country) m[row.country] = row.code;
        return m;
    }();
    return map;
}

CRateAnswer Fault(std::string reason) {
    CRateAnswer a;
    a.kind = FaultKind::kClient;
    a.strReason = std::move(reason);
    return a;
}

}  // namespace

const std::vector<const char*>& ListedCodes() {
    static const std::vector<const char*> codes = [] {
        std::vector<const char*> v;
        for (const CurrencyRow& row : kRows) v.push_back(row.code);
        return v;
    }();
    return codes;
}

bool IsListedCode(std::string_view code) {
    for (const CurrencyRow& row : kRows)
        if (code == row.code) return true;
    return false;
}

bool IsServedCode(std::string_view code) {
    if (code == "EUR") return true;
    for (const CurrencyRow& row : kRows) {
        const CLegacyCode* legacy = FindLegacyCode(row.code);
        if (legacy ? code == legacy->successor : code == row.code && !NoSuccessorReason(code)) return true;
    }
    return false;
}

bool IsMetalCode(std::string_view code) { return code == "XAU" || code == "XAG" || code == "XPT" || code == "XPD"; }

const char* CodeForCountry(std::string_view country) {
    const auto& map = CountryMap();
    const auto it = map.find(country);
    return it == map.end() ? nullptr : it->second;
}

CRateAnswer RateForCodes(const CRateBook& book, std::string_view from, std::string_view to, UnixSeconds now) {
    for (std::string_view code : {from, to})
        if (!IsListedCode(code) && code != "EUR") return Fault("Unknown currency code " + Quoted(code));
    return book.Answer(from, to, now);
}

CRateAnswer RateForCountries(const CRateBook& book, std::string_view country1, std::string_view country2,
                             UnixSeconds now) {
    const char* from = CodeForCountry(country1);
    if (!from) return Fault("Unknown country name " + Quoted(country1));
    const char* to = CodeForCountry(country2);
    if (!to) return Fault("Unknown country name " + Quoted(country2));
    return RateForCodes(book, from, to, now);
}

}  // namespace ratesvc
