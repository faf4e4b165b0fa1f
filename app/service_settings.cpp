#include "app/service_settings.h"

#include "app/main_app.h"

rates::ServiceSettings ReadServiceSettings() {
    const rates::ServiceSettings defaults = rates::DefaultServiceSettings();
    rates::ServiceSettings s;
    s.conversionRateUrl = App().ReadSettingString("Service", "ConversionRateUrl", defaults.conversionRateUrl.c_str());
    s.conversionRateNamespace =
        App().ReadSettingString("Service", "ConversionRateNamespace", defaults.conversionRateNamespace.c_str());
    s.exchangeRateUrl = App().ReadSettingString("Service", "ExchangeRateUrl", defaults.exchangeRateUrl.c_str());
    return s;
}
