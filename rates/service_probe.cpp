#include "rates/service_probe.h"

#include "rates/currency_tables.h"

namespace rates {

const char* ProbeServices(const ServiceSettings& settings, std::unique_ptr<CCurrencyConvertor>* convertor,
                          std::unique_ptr<CCurrencyExchangeService>* exchange) {
    exchange->reset();
    *convertor = std::make_unique<CCurrencyConvertor>(settings.conversionRateUrl, settings.conversionRateNamespace);
    double rate = 0.0;
    if (soap::Succeeded((*convertor)->ConversionRate(kCurrency_USD, kCurrency_JPY, &rate))) return nullptr;
    const SoapClientError first = (*convertor)->ResultCode();
    convertor->reset();

    *exchange = std::make_unique<CCurrencyExchangeService>(settings.exchangeRateUrl);
    float single = 0.0f;
    if (soap::Succeeded((*exchange)->getRate(CountryNameW(kCurrency_USD), CountryNameW(kCurrency_JPY), &single)))
        return nullptr;
    const SoapClientError second = (*exchange)->ResultCode();
    exchange->reset();
    if (first == SOAPCLIENT_FOREIGN_SERVICE || second == SOAPCLIENT_FOREIGN_SERVICE)
        return ResultCodeText(SOAPCLIENT_FOREIGN_SERVICE);
    return "Webサービス接続エラー!";
}

bool AskProbedService(CCurrencyConvertor* convertor, CCurrencyExchangeService* exchange, int from, int to,
                      double* rate) {
    if (convertor) return soap::Succeeded(convertor->ConversionRate(from, to, rate));
    if (!exchange) return false;
    float single = 0.0f;
    if (!soap::Succeeded(exchange->getRate(CountryNameW(from), CountryNameW(to), &single))) return false;
    *rate = static_cast<double>(single);
    return true;
}

}  // namespace rates
