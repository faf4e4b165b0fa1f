// The running monitor as a keyboard user and a sleeping machine meet it, in
// the real program under Wine against the scripted rate peer: the dialog
// keeps its keyboard handling and its focus after the switch-on, the chart
// panel stays off the taskbar and answers Esc, a
// resume from sleep brings a poll within seconds on a fresh connection, and
// the tray tip then carries the rate. One run on the longest period, so
// every poll seen is one that the test caused.
#include <string>
#include <vector>

#include "tests/driver/alarm_log_pages.h"
#include "tests/driver/e2e_fixture.h"
#include "tests/driver/rate_servers.h"
#include "tests/driver/registry.h"
#include "tests/driver/tray.h"
#include "tests/driver/user_input.h"
#include "tests/driver/window_query.h"

namespace driver::zelvane {
namespace {

constexpr int kEur = 42;
constexpr int kUsd = 138;
constexpr DWORD kFiveMinutes = 7;  // interval index: polls every 290 s
// The resume poll waits 3 s; the probe and the exchange take a little more.
constexpr milliseconds kResumeTimeout{12000};
constexpr int kMaxTabs = 30;

class MonitorKeysTest : public ZelvaneTest {
protected:
    void SetUp() override {
        ZelvaneTest::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_TRUE(ScriptedRatePeer::ServersRunning()) << "no rate servers in " << RateServerDir();
        peer_ = ScriptedRatePeer::Unique("keys");
        ASSERT_TRUE(peer_.Use());
        ASSERT_TRUE(peer_.SetRate("1.2345"));
    }

    HWND Focus() const { return FocusOf(app_.mainDialog()); }
    bool FocusBecomes(HWND hwnd) const {
        return WaitUntil([&] { return Focus() == hwnd; }, kReactTimeout);
    }
    // Tab pressed until the focus reaches target; false when it never does.
    bool TabTo(HWND target) const {
        for (int i = 0; i < kMaxTabs && Focus() != target; ++i) {
            HWND before = Focus();
            if (!PressKeyInDialog(app_.mainDialog(), VK_TAB)) return false;
            if (!WaitUntil([&] { return Focus() != before; }, kReactTimeout)) return false;
        }
        return Focus() == target;
    }
    // Where on its connection the peer saw the last request: 1 is a fresh one.
    int LastRequestOnConnection() const {
        return std::atoi(RateServerFile("served-" + peer_.tag()).c_str());
    }

    ScriptedRatePeer peer_;
};

TEST_F(MonitorKeysTest, KeyboardChartPanelResumeAndTrayTipWhileTheMonitorRuns) {
    ASSERT_TRUE(WriteUserDword(SectionKey(L"Base"), L"nCurrency1", kEur));
    ASSERT_TRUE(WriteUserDword(SectionKey(L"Base"), L"nCurrency2", kUsd));
    ASSERT_TRUE(WriteUserDword(SectionKey(L"Monitor"), L"Interval", kFiveMinutes));
    ASSERT_TRUE(StartApp());
    HWND onOff = GetDlgItem(app_.PageWith(kIdInterval), kIdMonitorOnOff);

    // Tab walks from the pickers into the page; Space presses its ON button.
    ASSERT_TRUE(TabTo(onOff)) << "Tab never reached the monitor page's ON button";
    ASSERT_TRUE(PostKey(onOff, VK_SPACE));
    ASSERT_TRUE(WaitUntil([&] { return WindowText(onOff) == L"OFF"; }, kReactTimeout));
    HWND osd = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (osd = app_.OsdWindow()) != nullptr; }, kWindowTimeout));
    ASSERT_TRUE(WaitUntil([&] { return peer_.Requests() >= 1; }, kReactTimeout)) << "no probe";

    // The on-screen window took nothing: the button keeps the focus, and
    // the loop that now serves the dialog moves it with Tab.
    EXPECT_TRUE(FocusBecomes(onOff)) << "focus after the switch-on: " << Focus();
    EXPECT_NE(GetWindowLongPtrW(osd, GWL_EXSTYLE) & WS_EX_NOACTIVATE, 0);
    ASSERT_TRUE(PostKey(onOff, VK_TAB));
    EXPECT_TRUE(WaitUntil([&] { return Focus() != onOff && IsChild(app_.mainDialog(), Focus()); }, kReactTimeout))
        << "Tab did not move the focus while the monitor runs";
    // Enter on a picker presses the default button: GET asks the peer.
    ASSERT_TRUE(TabTo(Control(kIdCurrency1))) << "Tab does not cycle while the monitor runs";
    ASSERT_TRUE(PressKeyInDialog(app_.mainDialog(), VK_RETURN));
    EXPECT_TRUE(WaitUntil([&] { return WindowText(Control(kIdRate)) == L"1.2345"; }, kReactTimeout))
        << "Enter did not run GET";

    // Real input with modifiers: Shift+Tab goes back, Ctrl+Tab and
    // Ctrl+Shift+Tab turn the pages (the tab strip is no Tab stop) and
    // take the focus along.
    SetForegroundWindow(app_.mainDialog());
    ASSERT_TRUE(WaitUntil([&] { return GetForegroundWindow() == app_.mainDialog(); }, kReactTimeout));
    ASSERT_TRUE(SendChord({VK_SHIFT}, VK_TAB));
    EXPECT_TRUE(WaitUntil([&] { return Focus() != Control(kIdCurrency1) && IsChild(app_.mainDialog(), Focus()); },
                          kReactTimeout))
        << "Shift+Tab";
    struct Turn {
        std::vector<WORD> modifiers;
        int tab;
        int control;  // on the page that comes into view
    } turns[] = {{{VK_CONTROL}, kTabAlarm, kIdAlarmSwitch}, {{VK_CONTROL, VK_SHIFT}, kTabMonitor, kIdInterval}};
    for (const Turn& t : turns) {
        ASSERT_TRUE(SendChord(t.modifiers, VK_TAB));
        EXPECT_TRUE(WaitUntil([&] { return TabSelection(Control(kIdTab)) == t.tab; }, kReactTimeout)) << t.tab;
        HWND shown = app_.PageWith(t.control);
        EXPECT_TRUE(WaitUntil([&] { return app_.VisiblePages() == std::vector<HWND>{shown}; }, kReactTimeout));
        EXPECT_TRUE(WaitUntil([&] { return IsChild(shown, Focus()) != FALSE; }, kReactTimeout)) << t.tab;
    }

    // The chart panel: unowned, so that it can slide out from behind the
    // dialog, a tool window, so that it has no taskbar button, the focus
    // left in the dialog; Esc in it slides it back.
    ASSERT_TRUE(ClickButton(Control(kIdChart)));
    HWND panel = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (panel = FindTopLevel(app_.pid(), kDialogClass, L"")) != nullptr; },
                          kReactTimeout));
    const LONG_PTR panelEx = GetWindowLongPtrW(panel, GWL_EXSTYLE);
    EXPECT_EQ(panelEx & WS_EX_TOOLWINDOW, WS_EX_TOOLWINDOW);
    EXPECT_EQ(panelEx & WS_EX_APPWINDOW, 0);
    EXPECT_EQ(GetWindow(panel, GW_OWNER), nullptr) << "an owned panel cannot come out from behind the dialog";
    ASSERT_TRUE(WaitUntil([&] { return WindowText(Control(kIdChart)) == L"チャート <<"; }, kReactTimeout));
    EXPECT_TRUE(IsChild(app_.mainDialog(), Focus())) << "the panel took the focus";
    ASSERT_TRUE(PostKey(panel, VK_ESCAPE));
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(panel); }, kReactTimeout)) << "Esc did not close the panel";
    EXPECT_TRUE(WaitUntil([&] { return WindowText(Control(kIdChart)) == L"チャート >>"; }, kReactTimeout));

    // Resumes from sleep: each brings a poll within seconds, though the
    // period is five minutes, each on a connection of its own.
    struct Resume {
        WPARAM event;
        const char* name;
    } resumes[] = {{PBT_APMRESUMESUSPEND, "resume by the user"}, {PBT_APMRESUMEAUTOMATIC, "automatic resume"}};
    for (const Resume& r : resumes) {
        const int before = peer_.Requests();
        ASSERT_TRUE(PostMessageW(osd, WM_POWERBROADCAST, r.event, 0));
        EXPECT_TRUE(WaitUntil([&] { return peer_.Requests() > before; }, kResumeTimeout)) << r.name;
        EXPECT_EQ(LastRequestOnConnection(), 1) << r.name << ": the kept connection was used";
    }

    // The tray tip: the state, and under it the pair, the rate and the time.
    const std::wstring expected = L"Zelvane\nEUR/USD 1.2345 ";
    std::wstring tip;
    EXPECT_TRUE(WaitUntil(
        [&] {
            for (const std::wstring& text : ToolTipTextsOnDesktop())
                if (text.compare(0, expected.size(), expected) == 0) tip = text;
            return !tip.empty();
        },
        kReactTimeout));
    ASSERT_EQ(tip.size(), expected.size() + 5) << "no HH:MM after the rate";
    EXPECT_EQ(tip[expected.size() + 2], L':');

    ASSERT_TRUE(ClickButton(Control(kIdExit)));
    EXPECT_TRUE(app_.process().WaitForExit().has_value());
}

}  // namespace
}  // namespace driver::zelvane
