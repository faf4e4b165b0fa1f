// Compiled defaults of the "Service" settings: where the two rate services are
// and the conversion-rate service's namespace. Both point at the local rate
// service (zelvane-ratesvc), which listens on loopback port 48213, so that an
// installed copy gets rates with no setting written. The settings store
// overrides each of them.
#pragma once

namespace rates {

constexpr char kDefaultConversionRateUrl[] = "http://127.0.0.1:48213/CurrencyConvertor.asmx";
constexpr char kDefaultExchangeRateUrl[] = "http://127.0.0.1:48213/soap";
constexpr char kDefaultConversionRateNamespace[] = "http://zelvane.morvast.example/";
constexpr char16_t kDefaultConversionRateNamespaceW[] = u"http://zelvane.morvast.example/";

}  // namespace rates
