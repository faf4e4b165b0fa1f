// Arbitrary bytes as a downloaded rates file: either a refusal with a reason
// or a table that holds only what the service can answer from, with a real
// date and no pair of rates whose cross rate no answer could carry.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "rate_checks.h"
#include "rate_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ratesvc::CRateTable table;
    table.m_strDate = "untouched";
    std::string error;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (!ratesvc::ParseRateFile(text, table, error)) {
        if (error.empty() || table.m_strDate != "untouched" || !table.m_perEuro.empty()) std::abort();
        return 0;
    }
    if (!error.empty() || !ratesvc::IsIsoDate(table.m_strDate) || table.m_perEuro.empty()) std::abort();
    for (const auto& [code, rate] : table.m_perEuro) {
        if (code.size() != 3 || code == "EUR" || !(rate > 0) || !std::isfinite(rate)) std::abort();
        const auto self = table.CrossRate(code, code);
        const auto viaEuro = table.CrossRate("EUR", code);
        if (!self || *self != 1.0 || !viaEuro || *viaEuro != rate) std::abort();
        // Every pair the table can answer is a rate an answer may carry.
        for (const auto& other : table.m_perEuro)
            if (!ratesvc::IsAnswerableRate(*table.CrossRate(code, other.first))) std::abort();
    }
    return 0;
}
