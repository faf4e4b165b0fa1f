#include "monitor/tray_tip.h"

#include <cstdio>

#include "rates/currency_tables.h"
#include "rates/rate_query.h"

namespace monitor {

namespace {

// UTF-16 units of one UTF-8 sequence, judged by its lead byte; 0 for a
// continuation byte.
size_t Units(unsigned char byte) {
    if ((byte & 0xC0) == 0x80) return 0;
    return byte >= 0xF0 ? 2 : 1;
}

size_t CountUnits(const std::string& utf8) {
    size_t units = 0;
    for (unsigned char c : utf8) units += Units(c);
    return units;
}

// The longest start of utf8 within maxUnits that ends on a whole character.
std::string CutToUnits(const std::string& utf8, size_t maxUnits) {
    size_t units = 0;
    for (size_t i = 0; i < utf8.size(); ++i) {
        const size_t u = Units(static_cast<unsigned char>(utf8[i]));
        if (u && units + u > maxUnits) return utf8.substr(0, i);
        units += u;
    }
    return utf8;
}

}  // namespace

std::string TrayTip(const std::string& state, const PolledRate* last, size_t maxUnits) {
    std::string tip = CutToUnits(state, maxUnits);
    if (!last) return tip;
    char time[8];
    std::snprintf(time, sizeof(time), "%02d:%02d", last->hour % 24, last->minute % 60);
    const std::string line =
        std::string(rates::CurrencyCode(last->currency1, "?")) + "/" + rates::CurrencyCode(last->currency2, "?") + " " +
        rates::RateText(last->rate) + " " + time;
    if (CountUnits(tip) + 1 + CountUnits(line) > maxUnits) return tip;
    return tip + "\n" + line;
}

}  // namespace monitor
