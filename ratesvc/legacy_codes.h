// Codes of the program's list whose currencies were replaced: each answered
// from its successor with the factor fixed by law, whatever a source may
// still list under the old code.
#pragma once

#include <string_view>

namespace ratesvc {

struct CLegacyCode {
    const char* code;       // as the program sends it
    const char* successor;  // the code whose rates answer for it
    double unitsPerSuccessor;  // old units in one unit of the successor
};

// The row for `code`, or null when it is not a replaced currency.
const CLegacyCode* FindLegacyCode(std::string_view code);

// Why no rate can be given for a code of the list that has no successor
// with a legal factor; null for every other code.
const char* NoSuccessorReason(std::string_view code);

}  // namespace ratesvc
