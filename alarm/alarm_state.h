// What the alarm page, the sound chooser, the poll, the tray tip and the
// chart share about alarms: one record for the process.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "alarm/rate_moves.h"

struct CAlarmState {
    double dLimitHigh = 0.0;  // limits in force; 0 until a field is first read
    double dLimitLow = 0.0;
    bool bHighLimit = false;  // armed at the last switch-on
    bool bLowLimit = false;
    bool bAlarmOn = false;    // off at every start, whatever was saved
    std::string SoundPathHigh;  // UTF-8; empty = none chosen
    std::string SoundPathLow;

    // Once per crossing: a limit sounds as the rate reaches it, then waits
    // until the rate is back inside by the margin (rate units).
    bool bOncePerCrossing = false;
    double dRearmMargin = 0.0;
    bool bHighReady = true;
    bool bLowReady = true;
    // A move of dMovePercent or more within nMoveMinutes sounds the upper
    // sound for a rise, the lower for a fall, once until it falls back.
    bool bMoveAlarm = false;
    double dMovePercent = 0.0;
    int nMoveMinutes = 0;
    bool bMoveReady = true;
    CRateMoves moves;  // every polled rate of the pair, while the monitor runs
    // No sound before this time (seconds since the epoch); 0: not snoozed.
    std::int64_t nSnoozeUntil = 0;
};

extern CAlarmState AlarmState;

enum class AlarmSound { kNone, kHigh, kLow };

// The upper limit first, both inclusive: which sound a changed rate sets off.
AlarmSound AlarmToPlay(const CAlarmState& state, double rate);

// Which sound a changed rate sets off at time now, with every rule in force
// (limits, once per crossing, the move alert); a limit before a move. Marks
// what sounded as spent and re-arms what the rate has come back from.
AlarmSound DecideAlarm(CAlarmState& state, double rate, std::int64_t now);

// Switching alarms on starts every rule afresh.
void RearmAlarms(CAlarmState& state);

bool IsSnoozed(const CAlarmState& state, std::int64_t now);

enum class SnoozeLength { kHour, kUntilMorning };
// When a snooze asked for at now ends: an hour later, or at 8:00 local time
// the next morning (before 5:00 the night is not over: 8:00 the same day).
std::int64_t SnoozeEnd(std::int64_t now, SnoozeLength length);
// The tray tip's line while snoozed: "アラーム停止中 (8:00まで)".
std::string SnoozeTipLine(std::int64_t until);

// The move alert looks back this far at most; kept rates go no further.
constexpr int kMoveMinutesMax = 1440;

// The move shown beside the rate while the move alert is on: "+0.52% (15分)";
// empty when it is off or nothing earlier is known.
std::string MoveNote(const CAlarmState& state, double rate, std::int64_t now);

// Plays the sound the rate sets off, if any; true as soon as one was asked
// for, whether or not the file could be played. Called by the poll for every
// changed rate while alarms are on; while snoozed the rules still run but
// nothing plays.
bool CheckAlarm(double rate);
