// Client of the conversion-rate service: document/literal ConversionRate,
// currencies sent as their three-letter Currency codes, the rate returned as
// a double.
#pragma once

#include <memory>
#include <string>

#include "transport/client_parts.h"
#include "transport/soap_service_client.h"

namespace rates {

class CCurrencyConvertor {
public:
    // endpointUrl and serviceNamespace come from the "Service" settings.
    CCurrencyConvertor(const std::string& endpointUrl, const std::string& serviceNamespace,
                       const soap::ClientParts& parts = soap::PlatformParts());

    // *ConversionRateResult is written only on success; after a failure
    // ResultCode() names the step that failed.
    soap::Status ConversionRate(int FromCurrency, int ToCurrency, double* ConversionRateResult);

    SoapClientError ResultCode() const { return m_client.ResultCode(); }
    soap::CSoapServiceClient& Client() { return m_client; }

private:
    std::string m_namespace;
    std::u16string m_namespaceW;
    std::string m_actionLine;
    soap::SoapOperationInfo m_operation;
    soap::CSoapServiceClient m_client;
};

}  // namespace rates
