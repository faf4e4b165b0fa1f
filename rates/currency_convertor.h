// Client of the conversion-rate service: document/literal ConversionRate,
// currencies sent as their three-letter Currency codes, the rate returned as
// a double.
#pragma once

#include <memory>
#include <string>

#include "transport/connection.h"
#include "transport/soap_service_client.h"
#include "transport/xml_reader.h"

namespace rates {

class CCurrencyConvertor {
public:
    // endpointUrl and serviceNamespace come from the "Service" settings.
    // connection: none gives the platform's socket.
    CCurrencyConvertor(const std::string& endpointUrl, const std::string& serviceNamespace,
                       std::unique_ptr<soap::IXmlReader> reader = nullptr,
                       std::unique_ptr<IConnection> connection = nullptr);

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
