#include "monitor/osd_logic.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "monitor/rate_history.h"
#include "ui/dpi.h"

namespace {

using monitor::PlaceWindow;
using monitor::PollPeriodMs;

TEST(OsdLogic, PollPeriodOfEveryInterval) {
    const unsigned expected[] = {20000, 50000, 80000, 110000, 140000, 170000, 230000, 290000};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(PollPeriodMs(i), expected[i]) << i;
    EXPECT_EQ(PollPeriodMs(-1), 20000u) << "no selection";
    EXPECT_EQ(PollPeriodMs(8), 20000u);
}

TEST(OsdLogic, PlacementOnA1024By768Screen) {
    struct Case {
        int position;
        bool rateOnly;
        int x, y, width;
    } cases[] = {
        {0, false, 0, 0, 341},   {1, false, 683, 0, 341}, {2, false, 341, 344, 341},
        {1, true, 854, 0, 170},  {2, true, 427, 344, 170}, {-1, false, 0, 0, 341},
        {3, true, 0, 0, 170},
    };
    for (const Case& c : cases) {
        const monitor::Placement p = PlaceWindow(1024, 768, c.position, c.rateOnly);
        EXPECT_EQ(p.x, c.x) << c.position << " " << c.rateOnly;
        EXPECT_EQ(p.y, c.y) << c.position << " " << c.rateOnly;
        EXPECT_EQ(p.width, c.width) << c.position << " " << c.rateOnly;
        EXPECT_EQ(p.height, 80);
    }
}

TEST(OsdLogic, ScaleForDpiRoundsLikeMulDiv) {
    const struct {
        int px, dpi, scaled;
    } cases[] = {{80, 96, 80}, {80, 144, 120}, {10, 144, 15}, {5, 144, 8}, {1, 144, 2},
                 {-2, 144, -3}, {16, 120, 20}, {16, 0, 16}, {2, 192, 4}};
    for (const auto& c : cases) EXPECT_EQ(ui::ScaleForDpi(c.px, c.dpi), c.scaled) << c.px << " at " << c.dpi;
    EXPECT_EQ(monitor::FontHeight(96), -35);
    EXPECT_EQ(monitor::FontHeight(144), -52);
}

// At a higher dpi the window is taller and widens to its text; at 96 a text
// that fits keeps the third of the screen.
TEST(OsdLogic, PlacementAtAScreenScale) {
    struct Case {
        int position, dpi, textWidth;
        bool rateOnly;
        int x, y, width, height;
    } cases[] = {
        {1, 96, 281, false, 683, 0, 341, 80},     {1, 144, 0, false, 683, 0, 341, 120},
        {1, 144, 420, false, 574, 0, 450, 120},   {2, 144, 420, false, 287, 324, 450, 120},
        {0, 144, 200, true, 0, 0, 230, 120},      {1, 144, 2000, false, 0, 0, 1024, 120},
        {1, 96, 400, false, 604, 0, 420, 80},
    };
    for (const Case& c : cases) {
        const monitor::Placement p = PlaceWindow(1024, 768, c.position, c.rateOnly, c.dpi, c.textWidth);
        EXPECT_EQ((std::vector<int>{p.x, p.y, p.width, p.height}), (std::vector<int>{c.x, c.y, c.width, c.height}))
            << c.position << " at " << c.dpi << " for " << c.textWidth;
    }
}

// Every answer of the shell, the call failing, a full-screen foreground
// window, and the box on the Monitor page turned off.
TEST(OsdLogic, QuietWhileTheUserMustNotBeDisturbed) {
    const struct {
        bool settingOn, answered;
        int state;
        bool fullScreen, quiet;
    } cases[] = {
        {true, true, monitor::kUserNotPresent, false, false},
        {true, true, monitor::kUserBusy, false, true},
        {true, true, monitor::kUserRunningD3DFullScreen, false, true},
        {true, true, monitor::kUserPresentationMode, false, true},
        {true, true, monitor::kUserAcceptsNotifications, false, false},
        {true, true, monitor::kUserQuietTime, false, true},
        {true, true, monitor::kUserRunningApp, false, false},
        {true, true, 0, false, false},
        {true, true, 99, false, false},
        {true, false, monitor::kUserBusy, false, false},  // a failed call's state is not an answer
        {true, true, monitor::kUserAcceptsNotifications, true, true},
        {true, false, 0, true, true},
        {false, true, monitor::kUserBusy, false, false},
        {false, true, monitor::kUserPresentationMode, true, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(monitor::StayQuiet(c.settingOn, c.answered, c.state, c.fullScreen), c.quiet)
            << c.settingOn << c.answered << " " << c.state << " " << c.fullScreen;
}

// A change while quiet is taken (logged, kept, the new previous rate) but
// neither shown nor checked for alarms.
TEST(OsdLogic, QuietChangeIsLoggedNotShownNorSounded) {
    CRateHistory history;
    history.Reset();
    monitor::PollState state;
    monitor::PollHooks hooks;
    hooks.logOn = true;
    hooks.alarmOn = true;
    int logged = 0, checked = 0, asked = 0;
    bool quiet = true;
    hooks.writeLog = [&](const std::string&, double) { ++logged; };
    hooks.checkAlarm = [&](double) { ++checked; return true; };
    hooks.stayQuiet = [&] { ++asked; return quiet; };
    EXPECT_FALSE(monitor::TakeRate(state, 1.5, history, hooks));
    EXPECT_EQ(checked, 0);
    EXPECT_EQ(history.Newest(0), 1.5);
    EXPECT_EQ(state.dPrevRate, 1.5);
    EXPECT_FALSE(monitor::TakeRate(state, 1.5, history, hooks));
    EXPECT_EQ(asked, 1) << "asked for an unchanged rate";
    quiet = false;
    EXPECT_TRUE(monitor::TakeRate(state, 1.25, history, hooks));
    EXPECT_EQ(checked, 1);
    EXPECT_EQ(logged, 3);
}

TEST(OsdLogic, PairLabelAndVisibleBlack) {
    EXPECT_EQ(monitor::PairLabel(138, 61), "USD->JPY ");
    EXPECT_EQ(monitor::PairLabel(61, 138), "JPY->USD ");
    EXPECT_NE(monitor::VisibleTextColour(0), 0u) << "black would be the transparent key";
    EXPECT_EQ(monitor::VisibleTextColour(0x0000FF), 0x0000FFu);
    EXPECT_EQ(monitor::VisibleTextColour(0xFF0000), 0xFF0000u);
}

// A poll's rate and what became of it, one row per step of a session.
TEST(OsdLogic, PollDecisions) {
    struct Step {
        const char* what;
        double rate;
        bool alarmOn;
        bool alarmFires;
        bool rateOnly;
        bool shown;
        bool up;
        const char* text;
    } steps[] = {
        {"first poll is a change, a rise", 118.0, false, false, false, true, true, "USD->JPY 118.0000"},
        {"equal rate: logged and kept, not shown", 118.0, false, false, false, false, true, ""},
        {"a fall", 117.75, false, false, false, true, false, "USD->JPY 117.7500"},
        {"rate only", 118.25, false, false, true, true, true, "118.2500"},
        {"alarms on, no limit reached", 118.5, true, false, false, false, true, "USD->JPY 118.5000"},
        {"alarms on, a limit reached", 120.0, true, true, false, true, true, "USD->JPY 120.0000"},
        {"alarms on, equal rate: no check", 120.0, true, true, false, false, true, ""},
    };
    CRateHistory history;
    history.Reset();
    monitor::PollState state;
    state.strPair = "USD->JPY ";
    std::vector<double> logged;
    std::vector<double> checked;
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        monitor::PollHooks hooks;
        hooks.logOn = true;
        hooks.alarmOn = s.alarmOn;
        hooks.writeLog = [&](const std::string& pair, double rate) {
            EXPECT_EQ(pair, "USD->JPY ");
            logged.push_back(rate);
        };
        hooks.checkAlarm = [&](double rate) {
            checked.push_back(rate);
            return s.alarmFires;
        };
        state.bRateOnly = s.rateOnly;
        state.strText.clear();
        const size_t checksBefore = checked.size();
        EXPECT_EQ(monitor::TakeRate(state, s.rate, history, hooks), s.shown);
        EXPECT_EQ(state.bUp, s.up);
        EXPECT_EQ(state.strText, s.text);
        EXPECT_EQ(logged.back(), s.rate);
        EXPECT_EQ(history.Newest(0), s.rate);
        const bool changed = std::string(s.text) != "";
        EXPECT_EQ(checked.size() - checksBefore, changed && s.alarmOn ? 1u : 0u);
    }
    EXPECT_EQ(logged.size(), sizeof(steps) / sizeof(steps[0])) << "every answered poll is logged";
    EXPECT_EQ(history.Newest(6), 118.0);
}

TEST(OsdLogic, LogOffWritesNothing) {
    CRateHistory history;
    history.Reset();
    monitor::PollState state;
    monitor::PollHooks hooks;
    int writes = 0;
    hooks.writeLog = [&](const std::string&, double) { ++writes; };
    EXPECT_TRUE(monitor::TakeRate(state, 1.5, history, hooks));
    EXPECT_EQ(writes, 0);
}

}  // namespace

namespace {

// The smallest change worth showing, with alarms off, on and snoozed: the
// log and the history get every rate whatever is shown.
TEST(OsdLogic, SmallestChangeWorthShowing) {
    struct Step {
        const char* what;
        double rate;
        bool alarmOn, sounds, snoozed;
        bool shown;
    } steps[] = {
        {"first rate", 155.2000, false, false, false, true},
        {"4 units from the shown rate", 155.2004, false, false, false, false},
        {"5 units from it", 155.2005, false, false, false, true},
        {"back 3", 155.2002, false, false, false, false},
        {"alarm sounds on a small change", 155.2003, true, true, false, true},
        {"alarms on, no sound", 155.2100, true, false, false, false},
        {"snoozed: a big change shows", 155.2200, true, false, true, true},
        {"snoozed: a small one does not", 155.2201, true, false, true, false},
    };
    CRateHistory history;
    history.Reset();
    monitor::PollState state;
    state.nMinStep = 5;
    int logged = 0;
    for (const Step& s : steps) {
        monitor::PollHooks hooks;
        hooks.logOn = true;
        hooks.alarmOn = s.alarmOn;
        hooks.writeLog = [&](const std::string&, double) { ++logged; };
        hooks.checkAlarm = [&](double) { return s.sounds; };
        hooks.snoozed = [&] { return s.snoozed; };
        state.strText.clear();
        EXPECT_EQ(monitor::TakeRate(state, s.rate, history, hooks), s.shown) << s.what;
        EXPECT_EQ(history.Newest(0), s.rate) << s.what;
    }
    EXPECT_EQ(logged, 8);
    EXPECT_TRUE(monitor::MovedEnough(1e20, 1e20 + 1e6, 1)) << "huge rates do not overflow";
    EXPECT_TRUE(monitor::MovedEnough(1.0, 1.0001, 0));
}

TEST(OsdLogic, NoteFollowsTheRate) {
    CRateHistory history;
    history.Reset();
    monitor::PollState state;
    state.strPair = "USD->JPY ";
    monitor::PollHooks hooks;
    hooks.note = [](double) { return std::string("+0.52% (15分)"); };
    EXPECT_TRUE(monitor::TakeRate(state, 156.75, history, hooks));
    EXPECT_EQ(state.strText, "USD->JPY 156.7500 +0.52% (15分)");
}

}  // namespace
