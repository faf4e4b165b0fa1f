// The rate query behind GET: the conversion-rate service first, the
// exchange-rate service by country name when that fails; and the texts the
// user sees for a rate and for each result code.
#pragma once

#include <string>

#include "transport/client_parts.h"
#include "transport/soap_result.h"

namespace rates {

struct ServiceSettings {
    std::string conversionRateUrl;
    std::string conversionRateNamespace;
    std::string exchangeRateUrl;
};

// The compiled defaults of the "Service" settings.
ServiceSettings DefaultServiceSettings();

struct RateAnswer {
    bool ok = false;
    double rate = 0.0;
    // When !ok: the exchange-rate client's result code (the fallback is the
    // last service asked).
    SoapClientError code = SOAPCLIENT_SUCCESS;
};

// Both indices must be currency indices 0..150.
RateAnswer QueryRate(const ServiceSettings& settings, int currency1, int currency2,
                     const soap::ClientParts& parts = soap::PlatformParts());

// "%.4f" with "." and no grouping, whatever the C locale.
std::string RateText(double rate);

// The message GET shows for a result code; the empty text for unknown codes.
const char* ResultCodeText(int code);

}  // namespace rates
