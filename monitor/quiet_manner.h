// Whether the user must not be disturbed now: a full-screen program or a
// presentation runs, or quiet time is on. Asked before a changed rate is
// shown or sets off an alarm sound.
#pragma once

// The monitor page's "do not show over full-screen programs" box, as of the
// last switch-on; on by default.
extern bool bQuietFullScreen;

namespace monitor {

// Asks the shell (and looks at the foreground window); false whenever
// bQuietFullScreen is off.
bool UserMustNotBeDisturbed();

}  // namespace monitor
