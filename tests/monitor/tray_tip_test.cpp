#include "monitor/tray_tip.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using monitor::PolledRate;
using monitor::TrayTip;

TEST(TrayTip, StateWithTheLastRateUnderIt) {
    const PolledRate usdJpy{138, 61, 150.12344, 14, 5};
    const PolledRate eurUsd{42, 138, 1.2, 0, 0};
    const PolledRate huge{138, 61, 1e120, 9, 30};
    const PolledRate badPair{-1, 151, 2.5, 23, 59};
    const std::string state = "モニターONアラームOFF";  // 13 units
    struct Case {
        const char* name;
        std::string state;
        const PolledRate* last;
        size_t room;
        std::string tip;
    } cases[] = {
        {"no poll yet", "Zelvane", nullptr, 127, "Zelvane"},
        {"rate", state, &usdJpy, 127, state + "\nUSD/JPY 150.1234 14:05"},
        {"midnight", "Zelvane", &eurUsd, 127, "Zelvane\nEUR/USD 1.2000 00:00"},
        {"exactly fits", state, &usdJpy, 13 + 1 + 22, state + "\nUSD/JPY 150.1234 14:05"},
        {"one short: no cut number", state, &usdJpy, 13 + 1 + 21, state},
        {"rate text longer than the tip", state, &huge, 127, state},
        {"unknown currency index", "x", &badPair, 127, "x\n?/? 2.5000 23:59"},
        {"state cut on a character", state, nullptr, 4, "モニター"},
        {"four-byte character counts two", "a\xF0\x9F\x98\x80" "b", nullptr, 2, "a"},
    };
    for (const Case& c : cases) EXPECT_EQ(TrayTip(c.state, c.last, c.room), c.tip) << c.name;
}

}  // namespace
