#include <gtest/gtest.h>

#include <string>

#include "alarm/alarm_state.h"
#include "alarm/limit_text.h"

namespace {

struct AlarmCase {
    const char* name;
    bool high;
    double limitHigh;
    bool low;
    double limitLow;
    double rate;
    AlarmSound expected;
};

TEST(AlarmToPlay, UpperFirstBothInclusive) {
    const AlarmCase cases[] = {
        {"only lower 100: above", false, 0, true, 100, 100.0001, AlarmSound::kNone},
        {"only lower 100: at", false, 0, true, 100, 100, AlarmSound::kLow},
        {"only lower 100: below", false, 0, true, 100, 99.5, AlarmSound::kLow},
        {"only upper 120: at", true, 120, false, 0, 120, AlarmSound::kHigh},
        {"only upper 120: just below", true, 120, false, 0, 119.9999, AlarmSound::kNone},
        {"only upper 120: far below", true, 120, false, 0, 1, AlarmSound::kNone},
        // The unarmed limit's value counts for nothing, even when the rate is past it.
        {"only upper, lower value reached", true, 120, false, 200, 110, AlarmSound::kNone},
        {"lower above upper: both reached", true, 100, true, 110, 105, AlarmSound::kHigh},
        {"both armed: between", true, 120, true, 100, 110, AlarmSound::kNone},
        {"both armed: below", true, 120, true, 100, 90, AlarmSound::kLow},
        {"neither armed", false, 120, false, 100, 130, AlarmSound::kNone},
        {"neither armed, below", false, 120, false, 100, 50, AlarmSound::kNone},
    };
    for (const AlarmCase& c : cases) {
        CAlarmState state;
        state.bHighLimit = c.high;
        state.dLimitHigh = c.limitHigh;
        state.bLowLimit = c.low;
        state.dLimitLow = c.limitLow;
        EXPECT_EQ(AlarmToPlay(state, c.rate), c.expected) << c.name;
    }
}

TEST(ReadLimitText, ScansALeadingDecimalAndChecksTheRange) {
    struct Case {
        std::string text;
        LimitStatus status;
        double value;
    };
    const Case cases[] = {
        {"120", LimitStatus::kOk, 120},
        {"  \t115.5abc", LimitStatus::kOk, 115.5},
        {"0", LimitStatus::kOk, 0},
        {"10000", LimitStatus::kOk, 10000},
        {".5", LimitStatus::kOk, 0.5},
        {"+7", LimitStatus::kOk, 7},
        {"1e3x", LimitStatus::kOk, 1000},
        {"1e-400", LimitStatus::kOk, 0},
        {"0x10", LimitStatus::kOk, 0},  // the number ends at the x
        {"10001", LimitStatus::kOutOfRange, 0},
        {"10000.0001", LimitStatus::kOutOfRange, 0},
        {"-1", LimitStatus::kOutOfRange, 0},
        {"1e999", LimitStatus::kOutOfRange, 0},
        {"abc", LimitStatus::kNotANumber, 0},
        {"", LimitStatus::kNotANumber, 0},
        {"   ", LimitStatus::kNotANumber, 0},
        {"-", LimitStatus::kNotANumber, 0},
        {".", LimitStatus::kNotANumber, 0},
        {"inf", LimitStatus::kNotANumber, 0},
        {"nan", LimitStatus::kNotANumber, 0},
        {"１２０", LimitStatus::kNotANumber, 0},  // full-width digits are not a number
        // Only the first 399 characters are read.
        {std::string(398, ' ') + "5", LimitStatus::kOk, 5},
        {std::string(399, ' ') + "5", LimitStatus::kNotANumber, 0},
    };
    for (const Case& c : cases) {
        const LimitReading r = ReadLimitText(c.text);
        EXPECT_EQ(r.status, c.status) << '"' << c.text << '"';
        if (c.status == LimitStatus::kOk) {
            EXPECT_DOUBLE_EQ(r.value, c.value) << '"' << c.text << '"';
        }
    }
}

}  // namespace
