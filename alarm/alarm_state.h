// What the alarm page, the sound chooser, the poll, the tray tip and the
// chart share about alarms: one record for the process.
#pragma once

#include <string>

struct CAlarmState {
    double dLimitHigh = 0.0;  // limits in force; 0 until a field is first read
    double dLimitLow = 0.0;
    bool bHighLimit = false;  // armed at the last switch-on
    bool bLowLimit = false;
    bool bAlarmOn = false;    // off at every start, whatever was saved
    std::string SoundPathHigh;  // UTF-8; empty = none chosen
    std::string SoundPathLow;
};

extern CAlarmState AlarmState;

enum class AlarmSound { kNone, kHigh, kLow };

// The upper limit first, both inclusive: which sound a changed rate sets off.
AlarmSound AlarmToPlay(const CAlarmState& state, double rate);

// Plays the sound the rate sets off, if any; true as soon as one was asked
// for, whether or not the file could be played. Called by the poll for every
// changed rate while alarms are on.
bool CheckAlarm(double rate);
