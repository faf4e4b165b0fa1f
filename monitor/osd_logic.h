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
constexpr int kWindowHeight = 80;
constexpr int kFirstWidth = 800;     // before the first placement

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
// when it shows the rate alone.
Placement PlaceWindow(int screenW, int screenH, int positionIndex, bool rateOnly);

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
};

// Where a poll's rate goes besides the display.
struct PollHooks {
    bool logOn = false;
    bool alarmOn = false;
    std::function<void(const std::string& pair, double rate)> writeLog;
    std::function<bool(double rate)> checkAlarm;  // true: a sound was started
};

// One successful poll's rate: logged, kept in the history, and turned into
// display text when it differs from the previous rate. Returns true when the
// window is to be shown. The caller has emptied state.strText already.
bool TakeRate(PollState& state, double rate, CRateHistory& history, const PollHooks& hooks);

}  // namespace monitor
