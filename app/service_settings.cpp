#include "app/service_settings.h"

#include <utility>
#include <vector>

#include "app/main_app.h"
#include "transport/http_url.h"
#include "transport/peer_owner.h"

namespace {

// CheckLocalServiceOwner = 0: the user believes whoever listens at the two
// endpoints set here, as when a service of their own runs where the
// program cannot see its owner. Any other loopback address is still checked.
void ApplyOwnerCheck(const rates::ServiceSettings& s, bool check) {
    std::vector<transport::WaivedEndpoint> waived;
    if (!check) {
        for (const std::string* url : {&s.conversionRateUrl, &s.exchangeRateUrl}) {
            CHttpUrl parsed;
            if (parsed.SetUrl(*url) && !parsed.Host().empty()) waived.push_back({parsed.Host(), parsed.Port()});
        }
    }
    transport::SetOwnerCheckWaivers(std::move(waived));
}

}  // namespace

rates::ServiceSettings ReadServiceSettings() {
    const rates::ServiceSettings defaults = rates::DefaultServiceSettings();
    rates::ServiceSettings s;
    s.conversionRateUrl = App().ReadSettingString("Service", "ConversionRateUrl", defaults.conversionRateUrl.c_str());
    s.conversionRateNamespace =
        App().ReadSettingString("Service", "ConversionRateNamespace", defaults.conversionRateNamespace.c_str());
    s.exchangeRateUrl = App().ReadSettingString("Service", "ExchangeRateUrl", defaults.exchangeRateUrl.c_str());
    ApplyOwnerCheck(s, App().ReadSettingInt("Service", "CheckLocalServiceOwner", 1) != 0);
    return s;
}
