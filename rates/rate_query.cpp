#include "rates/rate_query.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "rates/currency_convertor.h"
#include "rates/currency_exchange_service.h"
#include "rates/service_defaults.h"

namespace rates {

ServiceSettings DefaultServiceSettings() {
    return {kDefaultConversionRateUrl, kDefaultConversionRateNamespace, kDefaultExchangeRateUrl};
}

RateAnswer QueryRate(const ServiceSettings& settings, int currency1, int currency2, const soap::ClientParts& parts) {
    RateAnswer answer;
    {
        CCurrencyConvertor convertor(settings.conversionRateUrl, settings.conversionRateNamespace, parts);
        double rate = 0.0;
        if (soap::Succeeded(convertor.ConversionRate(currency1, currency2, &rate))) {
            answer.ok = true;
            answer.rate = rate;
            return answer;
        }
    }
    // Any failure of the first service, whatever its reason, falls back.
    CCurrencyExchangeService exchange(settings.exchangeRateUrl, parts);
    float rate = 0.0f;
    if (soap::Succeeded(exchange.getRate(CountryNameW(currency1), CountryNameW(currency2), &rate))) {
        answer.ok = true;
        answer.rate = static_cast<double>(rate);
    } else {
        answer.code = exchange.ResultCode();
    }
    return answer;
}

std::string RateText(double rate) {
    // to_chars ignores the locale, unlike printf's "%.4f".
    char buf[512];
    const auto r = std::to_chars(buf, buf + sizeof(buf), rate, std::chars_format::fixed, 4);
    if (r.ec == std::errc()) return std::string(buf, r.ptr);
    std::snprintf(buf, sizeof(buf), "%.4f", rate);
    return buf;
}

const char* ResultCodeText(int code) {
    switch (code) {
    case SOAPCLIENT_SUCCESS: return "SOAPCLIENT_SUCCESS";
    case SOAPCLIENT_INITIALIZE_ERROR: return "SOAPCLIENT_INITIALIZE_ERROR";
    case SOAPCLIENT_OUTOFMEMORY: return "SOAPCLIENT_OUTOFMEMORY";
    case SOAPCLIENT_GENERATE_ERROR: return "SOAPCLIENT_GENERATE_ERROR";
    case SOAPCLIENT_CONNECT_ERROR: return "SOAPCLIENT_CONNECT_ERROR";
    case SOAPCLIENT_SEND_ERROR: return "SOAPCLIENT_SEND_ERROR";
    // The trailing blank is part of the text users have always seen.
    case SOAPCLIENT_SERVER_ERROR: return "SOAPCLIENT_SERVER_ERROR ";
    // A fault, whatever it says, means the service does not know the country.
    case SOAPCLIENT_FAULT: return "登録されていない国名です";
    case SOAPCLIENT_PARSEFAULT_ERROR: return "SOAPCLIENT_PARSEFAULT_ERROR";
    case SOAPCLIENT_READ_ERROR: return "SOAPCLIENT_READ_ERROR";
    case SOAPCLIENT_PARSE_ERROR: return "SOAPCLIENT_PARSE_ERROR";
    case SOAPCLIENT_FOREIGN_SERVICE:
        return "ローカルのレートサービスがこのユーザーのものと確認できないため、問い合わせませんでした";
    default: return "";
    }
}

}  // namespace rates
