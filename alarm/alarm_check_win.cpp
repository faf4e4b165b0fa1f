#include "alarm/alarm_state.h"
#include "alarm/sound_file.h"

#include <windows.h>
#include <mmsystem.h>

#include <cstdio>
#include <ctime>

#include "ui/text.h"

bool CanOpenForReading(const std::string& pathUtf8) {
    if (pathUtf8.empty()) return false;
    FILE* f = _wfopen(ui::Widen(pathUtf8).c_str(), L"r");
    if (!f) return false;
    std::fclose(f);
    return true;
}

void PlaySoundFile(const std::string& pathUtf8) {
    // No SND_NODEFAULT: a file that has gone still makes itself heard.
    PlaySoundW(ui::Widen(pathUtf8).c_str(), nullptr, SND_FILENAME | SND_ASYNC);
}

bool CheckAlarm(double rate) {
    const std::int64_t now = std::time(nullptr);
    const AlarmSound sound = DecideAlarm(AlarmState, rate, now);
    // A crossing while snoozed is spent in silence: it does not sound later.
    if (sound == AlarmSound::kNone || IsSnoozed(AlarmState, now)) return false;
    PlaySoundFile(sound == AlarmSound::kHigh ? AlarmState.SoundPathHigh : AlarmState.SoundPathLow);
    return true;
}
