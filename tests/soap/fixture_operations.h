// The two rate operations as the service clients describe them, used here as
// fixtures for the writer, the reader and the round trip.
#pragma once

#include <cstdint>

#include "transport/soap_tables.h"

namespace fixtures {

struct ConversionRateBlock {
    int32_t FromCurrency;
    int32_t ToCurrency;
    double ConversionRateResult;
};

struct GetRateBlock {
    char16_t* country1;
    char16_t* country2;
    float Result;
};

extern const soap::SoapOperationInfo kConversionRate;  // document/literal, 0xA800
extern const soap::SoapOperationInfo kGetRate;         // rpc/encoded, 0x5000

// A document/literal operation with a string, a varying string array and a
// nested structure among its out-values, for the release and array paths.
struct Point {
    int32_t x;
    char16_t* label;
};
struct EchoBlock {
    char16_t* text;        // in
    char16_t* echoed;      // out
    soap::SoapArray words; // out, varying array of strings
    Point where;           // out, structure
    soap::SoapBinary blob; // out, base64Binary, may be nil
};
extern const soap::SoapOperationInfo kEcho;

// rpc/encoded with an array received through href/id.
struct ListBlock {
    soap::SoapArray values;  // out, varying array of int
};
extern const soap::SoapOperationInfo kList;

}  // namespace fixtures
