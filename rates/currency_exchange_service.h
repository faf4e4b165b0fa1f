// Client of the exchange-rate service: rpc/encoded getRate in the namespace
// "urn:xmethods-CurrencyExchange", countries sent by name, the rate returned
// as a float.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "transport/client_parts.h"
#include "transport/soap_service_client.h"

namespace rates {

class CCurrencyExchangeService {
public:
    explicit CCurrencyExchangeService(const std::string& endpointUrl,
                                      const soap::ClientParts& parts = soap::PlatformParts());

    // The names are sent as given: an empty one is an element with no
    // content. *Result is written only on success.
    soap::Status getRate(std::u16string_view country1, std::u16string_view country2, float* Result);

    SoapClientError ResultCode() const { return m_client.ResultCode(); }
    soap::CSoapServiceClient& Client() { return m_client; }

private:
    soap::CSoapServiceClient m_client;
};

// A country name of the table, widened to UTF-16 (the names are ASCII).
std::u16string CountryNameW(int currencyIndex);

}  // namespace rates
