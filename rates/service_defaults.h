// Compiled defaults of the "Service" settings: where the two rate services are
// and the conversion-rate service's namespace. The settings store overrides
// each of them.
#pragma once

namespace rates {

constexpr char kDefaultConversionRateUrl[] = "http://localhost/CurrencyConvertor.asmx";
constexpr char kDefaultExchangeRateUrl[] = "http://localhost:80/soap";
constexpr char kDefaultConversionRateNamespace[] = "http://zelvane.morvast.example/";
constexpr char16_t kDefaultConversionRateNamespaceW[] = u"http://zelvane.morvast.example/";

}  // namespace rates
