// The contract between the program and the local rate service, written once
// for both sides: where the service listens, where each operation is served,
// and the conversion-rate service's namespace. The program's "Service"
// settings default to it, so an installed copy gets rates with no setting
// written; the settings store overrides each of them.
#pragma once

// Literal pieces, so that the full addresses below are literals too.
#define ZELVANE_LOCAL_SERVICE_PORT "48213"
#define ZELVANE_CONVERSION_RATE_PATH "/CurrencyConvertor.asmx"
#define ZELVANE_EXCHANGE_RATE_PATH "/soap"
#define ZELVANE_CONVERSION_RATE_NAMESPACE "http://zelvane.morvast.example/"

namespace rates {

constexpr char kLocalServiceAddress[] = "127.0.0.1";
constexpr char kLocalServicePort[] = ZELVANE_LOCAL_SERVICE_PORT;
constexpr char kConversionRatePath[] = ZELVANE_CONVERSION_RATE_PATH;
constexpr char kExchangeRatePath[] = ZELVANE_EXCHANGE_RATE_PATH;
constexpr char kExchangeRateNamespace[] = "urn:xmethods-CurrencyExchange";

constexpr char kDefaultConversionRateUrl[] =
    "http://127.0.0.1:" ZELVANE_LOCAL_SERVICE_PORT ZELVANE_CONVERSION_RATE_PATH;
constexpr char kDefaultExchangeRateUrl[] = "http://127.0.0.1:" ZELVANE_LOCAL_SERVICE_PORT ZELVANE_EXCHANGE_RATE_PATH;
constexpr char kDefaultConversionRateNamespace[] = ZELVANE_CONVERSION_RATE_NAMESPACE;
constexpr char16_t kDefaultConversionRateNamespaceW[] = u"" ZELVANE_CONVERSION_RATE_NAMESPACE;

}  // namespace rates
