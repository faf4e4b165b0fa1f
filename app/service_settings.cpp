#include "app/service_settings.h"

#include "app/main_app.h"
#include "rates/service_defaults.h"

rates::ServiceSettings ReadServiceSettings() {
    rates::ServiceSettings s;
    s.conversionRateUrl = App().ReadSettingString("Service", "ConversionRateUrl", rates::kDefaultConversionRateUrl);
    s.conversionRateNamespace =
        App().ReadSettingString("Service", "ConversionRateNamespace", rates::kDefaultConversionRateNamespace);
    s.exchangeRateUrl = App().ReadSettingString("Service", "ExchangeRateUrl", rates::kDefaultExchangeRateUrl);
    return s;
}
