#include "alarm/alarm_state.h"

#include <windows.h>
#include <mmsystem.h>

#include "ui/text.h"

bool CheckAlarm(double rate) {
    const AlarmSound sound = AlarmToPlay(AlarmState, rate);
    if (sound == AlarmSound::kNone) return false;
    const std::string& path = sound == AlarmSound::kHigh ? AlarmState.SoundPathHigh : AlarmState.SoundPathLow;
    // Asynchronous: a new sound cuts off one still playing. No SND_NODEFAULT,
    // so a file that has gone still makes itself heard.
    PlaySoundW(ui::Widen(path).c_str(), nullptr, SND_FILENAME | SND_ASYNC);
    return true;
}
