// The tray icon's tip: the monitor's state, and under it the pair's last
// polled rate with the time it came, so the rate is seen without opening
// anything.
#pragma once

#include <cstddef>
#include <string>

namespace monitor {

// The record's tip holds 128 UTF-16 units with the terminator.
constexpr size_t kTipUnits = 127;

struct PolledRate {
    int currency1 = 0;
    int currency2 = 0;
    double rate = 0.0;
    int hour = 0;
    int minute = 0;
};

// UTF-8. "モニターONアラームOFF\nUSD/JPY 150.1234 14:05"; only the state
// without a rate. The state is cut to the room at a character boundary; a
// rate line that does not fit is left out whole, since a cut number would
// read as another rate.
std::string TrayTip(const std::string& state, const PolledRate* last, size_t maxUnits = kTipUnits);

}  // namespace monitor
