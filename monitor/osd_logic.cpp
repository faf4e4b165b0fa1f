#include "monitor/osd_logic.h"

#include <cmath>

#include "monitor/rate_history.h"
#include "rates/currency_tables.h"
#include "rates/rate_query.h"
#include "ui/dpi.h"

namespace monitor {

unsigned PollPeriodMs(int intervalIndex) {
    static constexpr unsigned kPeriods[] = {20000, 50000, 80000, 110000, 140000, 170000, 230000, 290000};
    if (intervalIndex < 0 || intervalIndex >= static_cast<int>(sizeof(kPeriods) / sizeof(kPeriods[0])))
        return kPeriods[0];
    return kPeriods[intervalIndex];
}

Placement PlaceWindow(int screenW, int screenH, int positionIndex, bool rateOnly, int dpi, int textWidth) {
    Placement p;
    p.width = screenW / 3;
    if (rateOnly) p.width /= 2;
    p.height = ui::ScaleForDpi(kWindowHeight, dpi);
    const int needed = textWidth + 2 * ui::ScaleForDpi(kTextMargin, dpi);
    if (textWidth > 0 && needed > p.width) p.width = needed < screenW ? needed : screenW;
    switch (positionIndex) {
    case 1:
        p.x = screenW - p.width;
        break;
    case 2:
        p.x = (screenW - p.width) / 2;
        p.y = (screenH - p.height) / 2;
        break;
    default:
        break;
    }
    return p;
}

int FontHeight(int dpi) {
    // MulDiv(-18, dpi, 50): 18/50 of an inch.
    if (dpi <= 0) dpi = ui::kBaseDpi;
    return -static_cast<int>((18LL * dpi + 25) / 50);
}

bool StayQuiet(bool settingOn, bool shellAnswered, int shellState, bool foregroundFullScreen) {
    if (!settingOn) return false;
    if (foregroundFullScreen) return true;
    if (!shellAnswered) return false;
    switch (shellState) {
    case kUserBusy:
    case kUserRunningD3DFullScreen:
    case kUserPresentationMode:
    case kUserQuietTime:
        return true;
    default:
        return false;
    }
}

std::string PairLabel(int currency1, int currency2) {
    return std::string(rates::CurrencyCode(currency1, "")) + "->" + rates::CurrencyCode(currency2, "") + " ";
}

Colour VisibleTextColour(Colour chosen) {
    // One step of blue off black: indistinguishable to the eye, not the key.
    return (chosen & 0x00FFFFFFu) == 0 ? 0x00010000u : chosen;
}

bool MovedEnough(double shown, double rate, int minStep) {
    if (minStep <= 0) return true;
    // As the rates read with four decimals.
    return std::fabs(std::nearbyint(rate * 1e4) - std::nearbyint(shown * 1e4)) >= minStep;
}

bool TakeRate(PollState& state, double rate, CRateHistory& history, const PollHooks& hooks) {
    // Every answered poll is logged and kept, changed or not.
    if (hooks.logOn && hooks.writeLog) hooks.writeLog(state.strPair, rate);
    history.Push(rate);
    if (rate == state.dPrevRate) return false;

    state.bUp = rate > state.dPrevRate;
    state.strText = state.bRateOnly ? std::string() : state.strPair;
    state.strText += rates::RateText(rate);
    state.dPrevRate = rate;
    // No pop-up over a game or a presentation, and no alarm sound either.
    if (hooks.stayQuiet && hooks.stayQuiet()) return false;
    bool show = MovedEnough(state.dShownRate, rate, state.nMinStep);
    if (hooks.alarmOn) {
        // While alarms are on, only a change that set one off is shown;
        // snoozed, the rules still run and every change worth it shows.
        const bool sounded = hooks.checkAlarm && hooks.checkAlarm(rate);
        show = sounded || (show && hooks.snoozed && hooks.snoozed());
    }
    if (hooks.note) {
        const std::string note = hooks.note(rate);
        if (!note.empty()) state.strText += " " + note;
    }
    if (show) state.dShownRate = rate;
    return show;
}

}  // namespace monitor
