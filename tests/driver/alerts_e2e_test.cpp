// The alerts beside the limits (the smallest change shown, the move alert,
// once per crossing, snooze) in the real program under Wine, fed by the
// scripted rate peer on the monitor's real 20 s period. One run of the
// program goes through them in turn. While alarms are on the window shows a
// change only when it sounded an alarm, and with the smallest change set
// high a snoozed change cannot show for its size: so whether the window
// shows after a poll tells whether that poll sounded.
#include <string>
#include <vector>

#include "tests/chart/chart_view.h"
#include "tests/driver/monitor_peer_test.h"
#include "tests/driver/combo_box.h"
#include "tests/driver/file_text.h"
#include "tests/driver/rate_servers.h"
#include "tests/driver/registry.h"
#include "tests/driver/screen.h"
#include "tests/driver/tray.h"

namespace driver::zelvane {
namespace {

constexpr int kEur = 42;
constexpr int kUsd = 138;
constexpr int kIdOnce = 1032;
constexpr int kIdMove = 1034;
constexpr int kIdMovePercent = 1035;
constexpr int kIdMinStep = 1050;
constexpr milliseconds kPeriodTimeout{45000};
constexpr milliseconds kShowTimeout{30000};

class AlertsTest : public MonitorPeerTest {
protected:
    AlertsTest() : MonitorPeerTest("alerts") {}
    HWND MonitorPage() const { return app_.PageWith(kIdInterval); }
    HWND MonitorOnOff() const { return GetDlgItem(MonitorPage(), kIdMonitorOnOff); }

    void Switch(HWND button, const wchar_t* caption) {
        ASSERT_TRUE(ClickButton(button));
        ASSERT_TRUE(CaptionBecomes(button, caption));
    }
    void SetField(HWND edit, const wchar_t* text) {
        DWORD_PTR result = 0;
        ASSERT_TRUE(SendMessageTimeoutW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000,
                                        &result));
    }
    // A picture of the window as it is on the screen now, for a look by eye.
    static void KeepShot(HWND window, const std::string& name) {
        RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        RECT rc{};
        if (!GetWindowRect(window, &rc)) return;
        Pixels p(rc.right - rc.left, rc.bottom - rc.top);
        // A menu is drawn a moment after it opens.
        if (WaitUntil([&] { return CaptureScreen(rc, p) && CountColour(p, 0) < p.width() * p.height() / 2; },
                      kReactTimeout))
            chart::SaveShot(p, name);
    }
    void ChooseTrayItem(wchar_t mnemonic, const char* shot = nullptr) {
        ASSERT_TRUE(PostTrayMouse(osd_, kTrayCallback, kTrayIconId, WM_RBUTTONUP));
        HWND menu = WaitForPopupMenu(app_.pid());
        ASSERT_NE(menu, nullptr) << "no tray menu";
        if (shot) KeepShot(menu, shot);
        ASSERT_TRUE(ChooseMenuMnemonic(menu, mnemonic));
    }
    bool TipSays(const std::wstring& part) const {
        return WaitUntil(
            [&] {
                for (const std::wstring& text : ToolTipTextsOnDesktop())
                    if (text.find(part) != std::wstring::npos) return true;
                return false;
            },
            kReactTimeout);
    }

    // Serves the rates one poll each and tells, for each, whether the window
    // showed, and how wide it was then. The next rate is set as soon as a
    // poll has been seen, and a poll that was not shown is proved so by the
    // next one coming (a shown rate holds the poll timer back for the
    // display).
    struct Shown {
        bool visible = false;
        int width = 0;
    };
    std::vector<Shown> Polls(const std::vector<const char*>& rates) {
        std::vector<Shown> shown;
        EXPECT_TRUE(peer_.SetRate(rates[0]));
        int poll = peer_.Requests() + 1;  // the request that takes rates[0]
        for (size_t i = 0; i < rates.size(); ++i, ++poll) {
            if (!WaitUntil([&] { return peer_.Requests() >= poll; }, kPeriodTimeout)) {
                ADD_FAILURE() << "no poll for " << rates[i];
                break;
            }
            if (i + 1 < rates.size()) {
                EXPECT_TRUE(peer_.SetRate(rates[i + 1]));
            }
            // The count is read before the window: once the next poll has
            // come, a window up now can be that poll's own answer.
            Shown s;
            WaitUntil(
                [&] {
                    if (peer_.Requests() > poll) return true;
                    return s.visible = IsWindowVisible(osd_) != FALSE;
                },
                kPeriodTimeout);
            if (s.visible) {
                RECT rc{};
                GetWindowRect(osd_, &rc);
                s.width = rc.right - rc.left;
                EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(osd_) == FALSE; }, kShowTimeout));
            }
            shown.push_back(s);
        }
        return shown;
    }
    static std::vector<bool> Visible(const std::vector<Shown>& shown) {
        std::vector<bool> v;
        for (const Shown& s : shown) v.push_back(s.visible);
        return v;
    }

    HWND osd_ = nullptr;
};

TEST_F(AlertsTest, SmallestChangeMoveAlertOncePerCrossingAndSnooze) {
    ASSERT_TRUE(peer_.Use());
    ASSERT_TRUE(peer_.SetRate("1.2000"));
    // The smallest change 30 units of the fourth decimal; the move alert
    // ready (0.5% in one minute) but alarms off; the upper limit 1.3, once
    // per crossing with a margin of 0.05, unticked for now. The log on.
    ASSERT_TRUE(WriteUserDword(SectionKey(L"Monitor"), L"nMinStep", 30));
    ASSERT_TRUE(WriteUserDword(AlarmKey(), L"bMoveAlarm", 1));
    ASSERT_TRUE(WriteUserString(AlarmKey(), L"dMovePercent", L"0.5"));
    ASSERT_TRUE(WriteUserDword(AlarmKey(), L"nMoveMinutes", 1));
    ASSERT_TRUE(WriteUserString(AlarmKey(), L"dLimitHigh", L"1.3"));
    ASSERT_TRUE(WriteUserString(AlarmKey(), L"dRearmMargin", L"0.05"));
    ASSERT_TRUE(WriteUserString(AlarmKey(), L"SoundPathHigh", wav_));
    ASSERT_TRUE(WriteUserString(AlarmKey(), L"SoundPathLow", wav_));
    ASSERT_TRUE(WriteUserDword(LogKey(), L"DateFormat", 1));
    ASSERT_TRUE(WriteUserDword(LogKey(), L"Delimiter", 2));
    ASSERT_TRUE(WriteUserString(LogKey(), L"FolderPath", folder_));

    ASSERT_TRUE(StartApp());
    ASSERT_TRUE(SelectComboIndex(Control(kIdCurrency1), kEur));
    ASSERT_TRUE(SelectComboIndex(Control(kIdCurrency2), kUsd));
    ASSERT_TRUE(ShowTab(kTabLog, LogPage()));
    ASSERT_NO_FATAL_FAILURE(Switch(Log(kIdLogSwitch), L"OFF"));
    ASSERT_TRUE(ShowTab(kTabMonitor, MonitorPage()));
    ASSERT_NO_FATAL_FAILURE(Switch(MonitorOnOff(), L"OFF"));
    ASSERT_TRUE(WaitUntil([&] { return (osd_ = app_.OsdWindow()) != nullptr; }, kWindowTimeout));
    ASSERT_TRUE(WaitUntil([&] { return peer_.Requests() >= 1; }, kReactTimeout)) << "no probe";

    // Alarms off: 20 units from the rate shown are logged, not shown; 40 are.
    EXPECT_EQ(Visible(Polls({"1.2000", "1.2020", "1.1960"})), (std::vector<bool>{true, false, true}));

    // The move alert alone. A percent of 0 is refused and saves nothing.
    ASSERT_TRUE(ShowTab(kTabAlarm, AlarmPage()));
    SetField(Alarm(kIdMovePercent), L"0");
    ASSERT_TRUE(ClickButton(Alarm(kIdAlarmSwitch)));
    ASSERT_NO_FATAL_FAILURE(ExpectMessage(L"変動率には0より大きく100以下の数を入力してください"));
    EXPECT_EQ(WindowText(Alarm(kIdAlarmSwitch)), L"ON");
    EXPECT_EQ(ReadUserString(AlarmKey(), L"dMovePercent"), L"0.5");
    SetField(Alarm(kIdMovePercent), L"0.5");
    ASSERT_NO_FATAL_FAILURE(Switch(Alarm(kIdAlarmSwitch), L"OFF"));
    KeepShot(AlarmPage(), "alerts-alarm-page");
    // 1.2032 is 0.60% above 1.1960 a poll ago: it sounds, shown with the
    // move beside the rate (wider than the third of the screen the rate
    // alone takes); further up, the same move does not sound again.
    const std::vector<Shown> moves = Polls({"1.2032", "1.2040"});
    ASSERT_EQ(moves.size(), 2u);
    EXPECT_TRUE(moves[0].visible) << "a 0.6% move did not sound";
    EXPECT_GT(moves[0].width, GetSystemMetrics(SM_CXSCREEN) / 3) << "no move beside the rate";
    EXPECT_FALSE(moves[1].visible) << "the same move sounded twice";

    // Once per crossing, with the smallest change so high that nothing but a
    // sound can show the window (switching the monitor off and on takes it;
    // a step that is no number is refused first).
    ASSERT_NO_FATAL_FAILURE(Switch(Alarm(kIdAlarmSwitch), L"ON"));
    ASSERT_TRUE(Tick(Alarm(kIdCheckHigh)));
    ASSERT_TRUE(Tick(Alarm(kIdOnce)));
    ASSERT_TRUE(ClickButton(Alarm(kIdMove)));
    ASSERT_TRUE(WaitUntil([&] { return !IsChecked(Alarm(kIdMove)); }, kReactTimeout));
    ASSERT_NO_FATAL_FAILURE(Switch(Alarm(kIdAlarmSwitch), L"OFF"));
    ASSERT_TRUE(ShowTab(kTabMonitor, MonitorPage()));
    ASSERT_NO_FATAL_FAILURE(Switch(MonitorOnOff(), L"ON"));
    SetField(GetDlgItem(MonitorPage(), kIdMinStep), L"many");
    ASSERT_TRUE(ClickButton(MonitorOnOff()));
    ASSERT_NO_FATAL_FAILURE(ExpectMessage(L"表示する最小変化には0から9999までの整数を入力してください"));
    EXPECT_EQ(WindowText(MonitorOnOff()), L"ON");
    EXPECT_EQ(ReadUserDword(SectionKey(L"Monitor"), L"nMinStep"), 30u);
    SetField(GetDlgItem(MonitorPage(), kIdMinStep), L"9999");
    ASSERT_NO_FATAL_FAILURE(Switch(MonitorOnOff(), L"OFF"));
    // Crossing at 1.31 sounds; five polls past the limit do not; back inside
    // by the margin re-arms it silently, and crossing anew sounds again.
    EXPECT_EQ(Visible(Polls({"1.3100", "1.3200", "1.3300", "1.3400", "1.3500", "1.2400", "1.3000"})),
              (std::vector<bool>{true, false, false, false, false, false, true}));

    // Snoozed for an hour from the tray: the tip says until when, and a
    // crossing is silent; resumed, the next crossing sounds.
    ASSERT_NO_FATAL_FAILURE(ChooseTrayItem(L'h', "alerts-tray-menu"));
    EXPECT_TRUE(TipSays(L"アラーム停止中 (")) << "the tip does not say the alarms are snoozed";
    EXPECT_EQ(Visible(Polls({"1.2400", "1.3050"})), (std::vector<bool>{false, false})) << "sounded while snoozed";
    ASSERT_NO_FATAL_FAILURE(ChooseTrayItem(L'r'));
    EXPECT_EQ(Visible(Polls({"1.2400", "1.3010"})), (std::vector<bool>{false, true})) << "not resumed";

    // Every polled rate is in the log, shown or not.
    ASSERT_NO_FATAL_FAILURE(Switch(MonitorOnOff(), L"ON"));
    const std::string log = ReadAll(LogFile());
    for (const char* rate : {"1.2020", "1.3200", "1.3050"})
        EXPECT_NE(log.find(std::string(",") + rate + "\r\n"), std::string::npos) << rate << " not logged:\n" << log;
}

}  // namespace
}  // namespace driver::zelvane
