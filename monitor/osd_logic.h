// What the on-screen rate window decides without touching a window: the poll
// period of each interval, where the window goes, and what one poll's rate
// does to the display, the log, the history and the alarms.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

class CRateHistory;

namespace monitor {

constexpr unsigned kShowMs = 10000;  // how long a change stays on screen
constexpr int kWindowHeight = 80;  // at 96 dpi, like every size here
constexpr int kFirstWidth = 800;    // before the first placement
constexpr int kTextMargin = 10;     // from the window's left and top edges

// The poll timer's period for an interval list index; each is the list's
// cycle minus the display time. Any other index (no selection: -1) polls
// every 20 s.
unsigned PollPeriodMs(int intervalIndex);

struct Placement {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = kWindowHeight;
};

// 0 top left, 1 top right, 2 centre of a screenW x screenH screen; any other
// index is top left. The window takes a third of the width, half of that
// when it shows the rate alone, and is 80 pixels high at 96 dpi. At a
// higher dpi the text grows while the screen's pixels do not: the window
// widens to textWidth (the text's extent in the window's font) and its
// margins, so no digit is cut off, but never beyond the screen.
Placement PlaceWindow(int screenW, int screenH, int positionIndex, bool rateOnly, int dpi = 96,
                      int textWidth = 0);

// The font's height for CreateFont at dpi: a bold face of 35 pixels at 96.
int FontHeight(int dpi);

// "USD->JPY ": the codes of the pair and one blank before the rate.
std::string PairLabel(int currency1, int currency2);

// A COLORREF value (0x00BBGGRR).
using Colour = std::uint32_t;
// Black is the window's transparent key: black text would vanish. The user
// asked for black, so draw the nearest colour that stays visible.
Colour VisibleTextColour(Colour chosen);

// The state a poll reads and changes.
struct PollState {
    double dPrevRate = 0.0;  // the last rate that differed from its predecessor
    bool bUp = true;         // the last change was a rise
    bool bRateOnly = false;
    std::string strPair;
    std::string strText;     // what the window paints; empty between polls
    // The window shows a change only this many units of the fourth decimal
    // away from the last rate it showed; 0 shows every change.
    int nMinStep = 0;
    double dShownRate = 0.0;
};

// The rate differs from the last one shown by at least minStep units of the
// fourth decimal, as the two read on the screen.
bool MovedEnough(double shown, double rate, int minStep);

// Where a poll's rate goes besides the display.
struct PollHooks {
    bool logOn = false;
    bool alarmOn = false;
    std::function<void(const std::string& pair, double rate)> writeLog;
    std::function<bool(double rate)> checkAlarm;  // true: a sound was started
    // Alarms are snoozed: no sound, but the window shows changes as if
    // alarms were off.
    std::function<bool()> snoozed;
    // Put after the rate, e.g. the move of the move alert; may be empty.
    std::function<std::string(double rate)> note;
    // Asked only for a changed rate: true while the user must not be
    // disturbed (a full-screen program, a presentation, quiet time).
    std::function<bool()> stayQuiet;
};

// What the shell says of the user (SHQueryUserNotificationState's values).
enum ShellUserState {
    kUserNotPresent = 1,        // screen saver, locked, fast user switching
    kUserBusy = 2,              // a full-screen program has the foreground
    kUserRunningD3DFullScreen = 3,
    kUserPresentationMode = 4,
    kUserAcceptsNotifications = 5,
    kUserQuietTime = 6,
    kUserRunningApp = 7,        // a store app, which leaves notifications on
};

// Whether a changed rate stays off the screen and silent. settingOn is the
// monitor page's box (on by default); shellAnswered false when the shell
// lacks the call or it failed, shellState its answer; foregroundFullScreen
// that the foreground window covers its whole monitor (the shell of some
// systems, Wine among them, answers "accepts" whatever runs). Unknown
// answers show the rate: missing one is worse than one pop-up too many.
bool StayQuiet(bool settingOn, bool shellAnswered, int shellState, bool foregroundFullScreen);

// One successful poll's rate: logged, kept in the history, and turned into
// display text when it differs from the previous rate. Returns true when the
// window is to be shown. A change while the user must not be disturbed is
// taken as the new previous rate, but neither shown nor checked for alarms.
// A change too small to show is still checked for alarms, and shown when it
// sounds one. The caller has emptied state.strText already.
bool TakeRate(PollState& state, double rate, CRateHistory& history, const PollHooks& hooks);

}  // namespace monitor
