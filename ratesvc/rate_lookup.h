// The service's answers, apart from SOAP: a rate for two currency codes or
// two country names, or the reason there is none and whose fault it is.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "civil_time.h"

namespace ratesvc {

class CRateBook;

enum class FaultKind {
    kNone,
    kClient,  // the request names something this service does not know
    kServer,  // a valid request the rates in force cannot answer
};

struct CRateAnswer {
    double dRate = 0;
    FaultKind kind = FaultKind::kNone;
    std::string strReason;  // the fault string when kind is not kNone
    const char* pszSource = "";  // the source the rate came from ("live", ...; "mixed" for legs of two)
};

// The program's currency list, in its order.
const std::vector<const char*>& ListedCodes();
bool IsListedCode(std::string_view code);
// Whether a source's quote for `code` is of use: a code of the list that is
// neither replaced nor abandoned, a successor of a replaced one, or the euro.
bool IsServedCode(std::string_view code);
// The four metals of the list, priced per troy ounce.
bool IsMetalCode(std::string_view code);

// The currency code for a country name exactly as the program sends it
// ("usa", "new Zealand"); null for a name it never sends, the empty one
// included. "turkey" names two entries; the newer lira, TRY, wins.
const char* CodeForCountry(std::string_view country);

// The book's answer at `now`.
CRateAnswer RateForCodes(const CRateBook& book, std::string_view from, std::string_view to, UnixSeconds now);
CRateAnswer RateForCountries(const CRateBook& book, std::string_view country1, std::string_view country2,
                             UnixSeconds now);

}  // namespace ratesvc
