#include "rate_lookup.h"

#include <unordered_map>

#include "printable.h"
#include "rate_checks.h"

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

bool IsListedCode(std::string_view code) {
    for (const CurrencyRow& row : kRows)
        if (code == row.code) return true;
    return false;
}

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

CRateAnswer Fault(FaultKind kind, std::string reason) {
    CRateAnswer a;
    a.kind = kind;
    a.strReason = std::move(reason);
    return a;
}

// The fault for a code the table has no rate for.
CRateAnswer Missing(const CRateTable& table, std::string_view code) {
    if (!IsListedCode(code) && code != "EUR")
        return Fault(FaultKind::kClient, "Unknown currency code " + Quoted(code));
    return Fault(FaultKind::kServer, "No rate for " + std::string(code) + " in the rates of " + table.m_strDate);
}

}  // namespace

const char* CodeForCountry(std::string_view country) {
    const auto& map = CountryMap();
    const auto it = map.find(country);
    return it == map.end() ? nullptr : it->second;
}

CRateAnswer RateForCodes(const CRateTable* table, std::string_view from, std::string_view to) {
    if (!table) return Fault(FaultKind::kServer, "No rates are loaded");
    for (std::string_view code : {from, to})
        if (!table->PerEuro(code)) return Missing(*table, code);
    CRateAnswer a;
    a.dRate = *table->CrossRate(from, to);
    // The loader bounds every rate, but an answer is the last place an
    // infinite or denormal number could still slip out to a client.
    if (!IsAnswerableRate(a.dRate))
        return Fault(FaultKind::kServer, "No usable rate for " + std::string(from) + " to " + std::string(to) +
                                             " in the rates of " + table->m_strDate);
    return a;
}

CRateAnswer RateForCountries(const CRateTable* table, std::string_view country1, std::string_view country2) {
    const char* from = CodeForCountry(country1);
    if (!from) return Fault(FaultKind::kClient, "Unknown country name " + Quoted(country1));
    const char* to = CodeForCountry(country2);
    if (!to) return Fault(FaultKind::kClient, "Unknown country name " + Quoted(country2));
    return RateForCodes(table, from, to);
}

}  // namespace ratesvc
