#include "alarm/alarm_state.h"

CAlarmState AlarmState;

AlarmSound AlarmToPlay(const CAlarmState& state, double rate) {
    if (state.bHighLimit && rate >= state.dLimitHigh) return AlarmSound::kHigh;
    if (state.bLowLimit && rate <= state.dLimitLow) return AlarmSound::kLow;
    return AlarmSound::kNone;
}
