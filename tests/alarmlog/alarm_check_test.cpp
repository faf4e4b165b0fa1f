#include <gtest/gtest.h>

#include <ctime>
#include <optional>
#include <string>
#include <vector>

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

namespace {

// One session of polls against the rules; each row a changed rate and the
// sound it must set off (time in seconds).
struct Poll {
    const char* what;
    std::int64_t time;
    double rate;
    AlarmSound sound;
};

void RunPolls(CAlarmState& state, const std::vector<Poll>& polls) {
    for (const Poll& p : polls) {
        state.moves.Add(p.time, p.rate, kMoveMinutesMax * 60);
        EXPECT_EQ(DecideAlarm(state, p.rate, p.time), p.sound) << p.what;
    }
}

TEST(DecideAlarm, OncePerCrossingRearmsBackInsideTheMargin) {
    CAlarmState state;
    state.bHighLimit = true;
    state.dLimitHigh = 1.3;
    state.bLowLimit = true;
    state.dLimitLow = 1.1;
    state.bOncePerCrossing = true;
    state.dRearmMargin = 0.05;
    RunPolls(state, {
                        {"crosses the upper limit", 0, 1.31, AlarmSound::kHigh},
                        {"stays past it", 20, 1.32, AlarmSound::kNone},
                        {"still past", 40, 1.33, AlarmSound::kNone},
                        {"back inside, not by the margin", 60, 1.26, AlarmSound::kNone},
                        {"at it again: no new crossing", 80, 1.30, AlarmSound::kNone},
                        {"inside by the margin exactly", 100, 1.25, AlarmSound::kNone},
                        {"crosses anew", 120, 1.30, AlarmSound::kHigh},
                        {"down through the lower limit", 140, 1.1, AlarmSound::kLow},
                        {"below still", 160, 1.0, AlarmSound::kNone},
                    });
    RearmAlarms(state);  // alarms switched off and on
    RunPolls(state, {{"past the lower limit after re-arming", 180, 1.01, AlarmSound::kLow}});
    state.bOncePerCrossing = false;
    RunPolls(state, {{"without the box, every change past a limit", 200, 1.02, AlarmSound::kLow}});
}

TEST(DecideAlarm, MoveAlertOncePerMoveWithinTheWindow) {
    CAlarmState state;
    state.bMoveAlarm = true;
    state.dMovePercent = 0.5;
    state.nMoveMinutes = 15;
    RunPolls(state, {
                        {"nothing earlier", 0, 100.0, AlarmSound::kNone},
                        {"0.4% up", 60, 100.4, AlarmSound::kNone},
                        {"0.6% up from the start", 120, 100.6, AlarmSound::kHigh},
                        {"further up: the same move", 180, 100.8, AlarmSound::kNone},
                        // 100.0 was in force until 60 s; at 960 s the window
                        // starts at 60 s, so 100.4 is the oldest it holds.
                        {"window moved on: +0.45% over it", 960, 100.85, AlarmSound::kNone},
                        {"a fall of 0.6% from the window's high", 1000, 100.245, AlarmSound::kLow},
                    });
    // Limits and moves together: the limit's sound comes first.
    CAlarmState both;
    both.bHighLimit = true;
    both.dLimitHigh = 101;
    both.bMoveAlarm = true;
    both.dMovePercent = 0.5;
    both.nMoveMinutes = 15;
    RunPolls(both, {{"start", 0, 100.0, AlarmSound::kNone}, {"1% fall", 10, 99.0, AlarmSound::kLow},
                    {"2% rise to the limit", 20, 101.0, AlarmSound::kHigh}});
}

TEST(DecideAlarm, MoveNoteAndSnooze) {
    CAlarmState state;
    state.bAlarmOn = true;
    state.bMoveAlarm = true;
    state.dMovePercent = 0.5;
    state.nMoveMinutes = 15;
    EXPECT_EQ(MoveNote(state, 100.0, 0), "") << "nothing earlier";
    state.moves.Add(0, 100.0, 900);
    state.moves.Add(60, 100.52, 900);
    EXPECT_EQ(MoveNote(state, 100.52, 60), "+0.52% (15分)");
    state.moves.Add(120, 99.39, 900);
    EXPECT_EQ(MoveNote(state, 99.39, 120), "-1.12% (15分)") << "the larger of the two moves";
    state.bMoveAlarm = false;
    EXPECT_EQ(MoveNote(state, 99.39, 120), "");

    state.nSnoozeUntil = SnoozeEnd(1000, SnoozeLength::kHour);
    EXPECT_TRUE(IsSnoozed(state, 4599));
    EXPECT_FALSE(IsSnoozed(state, 4600)) << "ends by itself";
    // The next 8:00, however late in the day it is asked for.
    const std::int64_t now = std::time(nullptr);
    const std::int64_t morning = SnoozeEnd(now, SnoozeLength::kUntilMorning);
    const std::time_t t = static_cast<std::time_t>(morning);
    const std::tm local = *std::localtime(&t);
    EXPECT_EQ(local.tm_hour * 60 + local.tm_min, 8 * 60);
    EXPECT_GT(morning, now + 3 * 3600 - 1);
    EXPECT_LE(morning, now + 27 * 3600);
}

TEST(ReadRuleText, WholeFieldPlainNumbersOnly) {
    const struct {
        const char* text;
        std::optional<double> positive;
        std::optional<int> whole;  // 0..9999
    } cases[] = {
        {"0.1", 0.1, std::nullopt},  {" 15 ", 15.0, 15},          {"0", std::nullopt, 0},
        {"", std::nullopt, std::nullopt}, {"-1", std::nullopt, std::nullopt}, {"1.5abc", std::nullopt, std::nullopt},
        {"1e3", std::nullopt, std::nullopt}, {"1.2.3", std::nullopt, std::nullopt}, {".", std::nullopt, std::nullopt},
        {"10001", std::nullopt, std::nullopt}, {"9999", 9999.0, 9999}, {"99999999999", std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ReadPositiveText(c.text, 10000), c.positive) << '"' << c.text << '"';
        EXPECT_EQ(ReadWholeText(c.text, 0, 9999), c.whole) << '"' << c.text << '"';
    }
}

}  // namespace
