#include "rates/currency_exchange_service.h"

#include <cstddef>

#include "rates/currency_tables.h"
#include "transport/soap_string.h"
#include "transport/soap_values.h"

namespace rates {

namespace {

struct GetRateBlock {
    char16_t* country1;
    char16_t* country2;
    float Result;
};

constexpr uint32_t kIn = soap::kStyleRpcEncoded | soap::kParamIn | soap::kParamNullable;  // 0x5401
constexpr uint32_t kOut = soap::kStyleRpcEncoded | soap::kParamOut;                       // 0x5002
constexpr char kNamespace[] = "urn:xmethods-CurrencyExchange";
constexpr char16_t kNamespaceW[] = u"urn:xmethods-CurrencyExchange";
// The service's SOAPAction is the empty quoted value.
constexpr char kActionLine[] = "SOAPAction: \"\"\r\n";

const soap::SoapParamInfo kGetRateParams[] = {
    {soap::NameHash(u"country1"), "country1", u"country1", 8, soap::kTypeString, kIn,
     offsetof(GetRateBlock, country1), nullptr, nullptr, nullptr, nullptr, 0},
    {soap::NameHash(u"country2"), "country2", u"country2", 8, soap::kTypeString, kIn,
     offsetof(GetRateBlock, country2), nullptr, nullptr, nullptr, nullptr, 0},
    {soap::NameHash(u"Result"), "Result", u"Result", 6, soap::kTypeFloat, kOut, offsetof(GetRateBlock, Result),
     nullptr, nullptr, nullptr, nullptr, 0},
    {},
};

// The response wrapper is not compared by name, so a getRateResponse reads
// like getRate.
const soap::SoapOperationInfo kGetRate = {
    soap::NameHash(u"getRate"), "getRate", 7, u"getRate", 7, soap::kKindOperation, kGetRateParams,
    sizeof(GetRateBlock), soap::kStyleRpcEncoded, kNamespace, kNamespaceW, soap::NameHash(kNamespaceW),
    static_cast<int>(sizeof(kNamespace) - 1),
};

// The in-texts of one call; freed on every path.
struct CountryTexts {
    char16_t* first = nullptr;
    char16_t* second = nullptr;
    ~CountryTexts() {
        soap::FreeSoapString(first);
        soap::FreeSoapString(second);
    }
};

}  // namespace

CCurrencyExchangeService::CCurrencyExchangeService(const std::string& endpointUrl, const soap::ClientParts& parts)
    : m_client(endpointUrl.c_str(), parts.newConnection(), parts.newReader) {}

soap::Status CCurrencyExchangeService::getRate(std::u16string_view country1, std::u16string_view country2,
                                               float* Result) {
    if (!Result) return soap::kStatusPointer;
    CountryTexts texts;
    texts.first = soap::AllocSoapString(country1);
    texts.second = soap::AllocSoapString(country2);
    if (!texts.first || !texts.second) {
        m_client.Http().SetResultCode(SOAPCLIENT_OUTOFMEMORY);
        return soap::kStatusOutOfMemory;
    }
    GetRateBlock block = {};
    block.country1 = texts.first;
    block.country2 = texts.second;
    const soap::Status s = m_client.Call(kGetRate, &block, kActionLine);
    if (soap::Succeeded(s)) *Result = block.Result;
    soap::ReleaseReceivedValues(kGetRateParams, reinterpret_cast<unsigned char*>(&block));
    return s;
}

std::u16string CountryNameW(int currencyIndex) {
    const std::string_view name = CountryNames[static_cast<size_t>(currencyIndex)];
    return std::u16string(name.begin(), name.end());
}

}  // namespace rates
