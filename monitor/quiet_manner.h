// Whether the user must not be disturbed now: a full-screen program or a
// presentation runs, or quiet time is on. Asked before a changed rate is
// shown or sets off an alarm sound.
#pragma once

namespace monitor {

// Asks the shell (and looks at the foreground window); false whenever
// settingOn (the monitor page's "do not show over full-screen programs"
// box) is off.
bool UserMustNotBeDisturbed(bool settingOn);

}  // namespace monitor
