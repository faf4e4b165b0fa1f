// The service's answers, apart from SOAP: a rate for two currency codes or
// two country names, or the reason there is none and whose fault it is.
#pragma once

#include <string>
#include <string_view>

#include "rate_file.h"

namespace ratesvc {

enum class FaultKind {
    kNone,
    kClient,  // the request names something this service does not know
    kServer,  // a valid request the rates in force cannot answer
};

struct CRateAnswer {
    double dRate = 0;
    FaultKind kind = FaultKind::kNone;
    std::string strReason;  // the fault string when kind is not kNone
};

// The currency code for a country name exactly as the program sends it
// ("usa", "new Zealand"); null for a name it never sends, the empty one
// included. "turkey" names two entries; the newer lira, TRY, wins.
const char* CodeForCountry(std::string_view country);

// `table` may be null (no good rates file read yet).
CRateAnswer RateForCodes(const CRateTable* table, std::string_view from, std::string_view to);
CRateAnswer RateForCountries(const CRateTable* table, std::string_view country1, std::string_view country2);

}  // namespace ratesvc
