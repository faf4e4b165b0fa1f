#include "alarm/alarm_state.h"

#include <cmath>
#include <cstdio>
#include <ctime>

CAlarmState AlarmState;

AlarmSound AlarmToPlay(const CAlarmState& state, double rate) {
    if (state.bHighLimit && rate >= state.dLimitHigh) return AlarmSound::kHigh;
    if (state.bLowLimit && rate <= state.dLimitLow) return AlarmSound::kLow;
    return AlarmSound::kNone;
}

namespace {

std::int64_t WindowSeconds(const CAlarmState& state) { return std::int64_t{state.nMoveMinutes} * 60; }

AlarmSound LimitSound(CAlarmState& state, double rate) {
    if (!state.bOncePerCrossing) return AlarmToPlay(state, rate);
    // Back inside by the margin: the next crossing counts again.
    if (rate <= state.dLimitHigh - state.dRearmMargin) state.bHighReady = true;
    if (rate >= state.dLimitLow + state.dRearmMargin) state.bLowReady = true;
    if (state.bHighLimit && rate >= state.dLimitHigh && state.bHighReady) {
        state.bHighReady = false;
        return AlarmSound::kHigh;
    }
    if (state.bLowLimit && rate <= state.dLimitLow && state.bLowReady) {
        state.bLowReady = false;
        return AlarmSound::kLow;
    }
    return AlarmSound::kNone;
}

AlarmSound MoveSound(CAlarmState& state, double rate, std::int64_t now) {
    if (!state.bMoveAlarm || !(state.dMovePercent > 0.0)) return AlarmSound::kNone;
    const std::optional<double> move = state.moves.MovePercent(now, rate, WindowSeconds(state));
    if (!move) return AlarmSound::kNone;
    if (std::fabs(*move) < state.dMovePercent) {
        state.bMoveReady = true;
        return AlarmSound::kNone;
    }
    if (!state.bMoveReady) return AlarmSound::kNone;
    state.bMoveReady = false;
    return *move > 0 ? AlarmSound::kHigh : AlarmSound::kLow;
}

}  // namespace

AlarmSound DecideAlarm(CAlarmState& state, double rate, std::int64_t now) {
    // Both rules see every change, so each re-arms on its own.
    const AlarmSound limit = LimitSound(state, rate);
    const AlarmSound move = MoveSound(state, rate, now);
    return limit != AlarmSound::kNone ? limit : move;
}

void RearmAlarms(CAlarmState& state) {
    state.bHighReady = true;
    state.bLowReady = true;
    state.bMoveReady = true;
}

bool IsSnoozed(const CAlarmState& state, std::int64_t now) { return now < state.nSnoozeUntil; }

std::int64_t SnoozeEnd(std::int64_t now, SnoozeLength length) {
    if (length == SnoozeLength::kHour) return now + 3600;
    const std::time_t t = static_cast<std::time_t>(now);
    const std::tm* local = std::localtime(&t);
    if (!local) return now + 12 * 3600;
    std::tm morning = *local;
    if (morning.tm_hour >= 5) ++morning.tm_mday;  // mktime carries it into the next month
    morning.tm_hour = 8;
    morning.tm_min = 0;
    morning.tm_sec = 0;
    morning.tm_isdst = -1;  // whatever the clock says on that morning
    const std::time_t end = std::mktime(&morning);
    return end == static_cast<std::time_t>(-1) || end <= t ? now + 12 * 3600 : static_cast<std::int64_t>(end);
}

std::string SnoozeTipLine(std::int64_t until) {
    const std::time_t t = static_cast<std::time_t>(until);
    const std::tm* local = std::localtime(&t);
    char text[64];
    std::snprintf(text, sizeof(text), "アラーム停止中 (%d:%02dまで)", local ? local->tm_hour : 0,
                  local ? local->tm_min : 0);
    return text;
}

std::string MoveNote(const CAlarmState& state, double rate, std::int64_t now) {
    if (!state.bAlarmOn || !state.bMoveAlarm) return {};
    const std::optional<double> move = state.moves.MovePercent(now, rate, WindowSeconds(state));
    if (!move) return {};
    char text[64];
    std::snprintf(text, sizeof(text), "%+.2f%% (%d分)", *move, state.nMoveMinutes);
    return text;
}
