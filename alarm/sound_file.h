// The alarm sounds' files: checked and played the same way by the alarm
// check and the sound chooser's preview.
#pragma once

#include <string>

// The file opens for reading (it is closed again at once). No test of its
// format is made.
bool CanOpenForReading(const std::string& pathUtf8);

// Starts playing the file in the background; a new sound cuts off one still
// playing. A path that names no playable file plays the system's default
// sound.
void PlaySoundFile(const std::string& pathUtf8);
