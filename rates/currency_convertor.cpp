#include "rates/currency_convertor.h"

#include <cstddef>
#include <cstdint>

#include "rates/currency_tables.h"
#include "transport/soap_values.h"

namespace rates {

namespace {

struct ConversionRateBlock {
    int32_t FromCurrency;
    int32_t ToCurrency;
    double ConversionRateResult;
};

constexpr uint32_t kIn = soap::kStyleDocLiteralWrapped | soap::kParamIn;    // 0xA801
constexpr uint32_t kOut = soap::kStyleDocLiteralWrapped | soap::kParamOut;  // 0xA802

const soap::SoapParamInfo kConversionRateParams[] = {
    {soap::NameHash(u"FromCurrency"), "FromCurrency", u"FromCurrency", 12, soap::kTypeTable, kIn,
     offsetof(ConversionRateBlock, FromCurrency), nullptr, &CurrencyEnum, nullptr, nullptr, 0},
    {soap::NameHash(u"ToCurrency"), "ToCurrency", u"ToCurrency", 10, soap::kTypeTable, kIn,
     offsetof(ConversionRateBlock, ToCurrency), nullptr, &CurrencyEnum, nullptr, nullptr, 0},
    {soap::NameHash(u"ConversionRateResult"), "ConversionRateResult", u"ConversionRateResult", 20,
     soap::kTypeDouble, kOut, offsetof(ConversionRateBlock, ConversionRateResult), nullptr, nullptr, nullptr,
     nullptr, 0},
    {},
};

}  // namespace

CCurrencyConvertor::CCurrencyConvertor(const std::string& endpointUrl, const std::string& serviceNamespace,
                                       const soap::ClientParts& parts)
    : m_namespace(serviceNamespace),
      m_namespaceW(m_namespace.begin(), m_namespace.end()),
      m_actionLine("SOAPAction: \"" + m_namespace + "ConversionRate\"\r\n"),
      m_operation{soap::NameHash(u"ConversionRateResponse"),
                  "ConversionRate",
                  14,
                  u"ConversionRateResponse",
                  22,
                  soap::kKindOperation,
                  kConversionRateParams,
                  sizeof(ConversionRateBlock),
                  soap::kStyleDocLiteralWrapped,
                  m_namespace.c_str(),
                  m_namespaceW.c_str(),
                  soap::NameHash(m_namespaceW),
                  static_cast<int>(m_namespace.size())},
      m_client(endpointUrl.c_str(), parts.newConnection(), parts.newReader) {}

soap::Status CCurrencyConvertor::ConversionRate(int FromCurrency, int ToCurrency, double* ConversionRateResult) {
    if (!ConversionRateResult) return soap::kStatusPointer;
    ConversionRateBlock block = {};
    block.FromCurrency = FromCurrency;
    block.ToCurrency = ToCurrency;
    const soap::Status s = m_client.Call(m_operation, &block, m_actionLine.c_str());
    if (soap::Succeeded(s)) *ConversionRateResult = block.ConversionRateResult;
    soap::ReleaseReceivedValues(kConversionRateParams, reinterpret_cast<unsigned char*>(&block));
    return s;
}

}  // namespace rates
