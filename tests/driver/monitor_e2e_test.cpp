// The monitor in the real program under Wine, on its real 20 s period,
// against a scripted rate peer: the raw server of tests/services answers
// ConversionRate with whatever rate the test wrote into its state folder,
// and counts and keeps what reached it. Each run of the program checks
// several things in turn, so the suite waits for as few periods as it can.
#include <string>

#include "tests/driver/combo_box.h"
#include "tests/driver/e2e_fixture.h"
#include "tests/driver/message_box.h"
#include "tests/driver/rate_servers.h"
#include "tests/driver/registry.h"
#include "tests/driver/screen.h"
#include "tests/driver/tray.h"
#include "tests/driver/user_input.h"
#include "tests/driver/window_query.h"

namespace driver::zelvane {
namespace {

constexpr int kEur = 42;
constexpr int kUsd = 138;

// One period of 20 s, the probe and a poll's exchange, with room for a
// loaded machine.
constexpr milliseconds kPeriodTimeout{45000};
// The display lasts 10 s.
constexpr milliseconds kShowTimeout{30000};

// As read from a screen capture: 0x00RRGGBB.
constexpr uint32_t kCaptureBlue = 0x0000FF;
constexpr uint32_t kCaptureRed = 0xFF0000;
// "EUR->USD 1.2345" in a 35-pixel bold face leaves hundreds of glyph pixels.
constexpr int kMinGlyphPixels = 200;

class MonitorTest : public ZelvaneTest {
protected:
    void SetUp() override {
        ZelvaneTest::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_TRUE(RateServerFileExists("raw.port")) << "no rate servers in " << RateServerDir();
        peer_ = ScriptedRatePeer("monitor-" + std::to_string(GetCurrentProcessId()) + "-" +
                                 std::to_string(GetTickCount64()));
    }

    // Both services point at the scripted peer, which counts its requests
    // under this test's tag.
    void UseScriptedPeer() { ASSERT_TRUE(peer_.Use()); }
    void SetRate(const std::string& rate) { ASSERT_TRUE(peer_.SetRate(rate)); }
    int Requests() const { return peer_.Requests(); }
    std::string LastBody() const { return peer_.LastBody(); }
    bool WaitForRequests(int n, milliseconds timeout = kPeriodTimeout) const {
        return WaitUntil([&] { return Requests() >= n; }, timeout);
    }

    HWND MonitorPage() const { return app_.PageWith(kIdInterval); }
    HWND OnOff() const { return GetDlgItem(MonitorPage(), kIdMonitorOnOff); }
    bool CaptionBecomes(HWND hwnd, const std::wstring& text) const {
        return WaitUntil([&] { return WindowText(hwnd) == text; }, kReactTimeout);
    }
    HWND WaitForOsd() const {
        HWND osd = nullptr;
        WaitUntil([&] { return (osd = app_.OsdWindow()) != nullptr; }, kWindowTimeout);
        return osd;
    }

    // Pixels of the given colour inside the window, as on the screen now.
    static int PixelsOf(HWND window, uint32_t captureColour) {
        RECT rc;
        if (!GetWindowRect(window, &rc)) return -1;
        Pixels shot(rc.right - rc.left, rc.bottom - rc.top);
        if (!shot.ok() || !CaptureScreen(rc, shot)) return -1;
        return CountColour(shot, captureColour);
    }
    // The window shows up with text in one colour and none in the other.
    static void ExpectShownIn(HWND osd, uint32_t colour, uint32_t otherColour) {
        ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(osd) != FALSE; }, kPeriodTimeout)) << "never shown";
        int pixels = 0;
        EXPECT_TRUE(WaitUntil([&] { return (pixels = PixelsOf(osd, colour)) >= kMinGlyphPixels; }, kReactTimeout))
            << pixels << " pixels of the expected colour";
        EXPECT_EQ(PixelsOf(osd, otherColour), 0);
    }

    ScriptedRatePeer peer_;
};

TEST_F(MonitorTest, PollsShowsChangesAndKeepsGoingBehindTheTray) {
    ASSERT_NO_FATAL_FAILURE(UseScriptedPeer());
    ASSERT_NO_FATAL_FAILURE(SetRate("1.2345"));
    const std::wstring monitorKey = SectionKey(L"Monitor");
    ASSERT_TRUE(WriteUserDword(monitorKey, L"Position", 1));  // top right
    ASSERT_TRUE(StartApp());
    ASSERT_TRUE(SelectComboIndex(Control(kIdCurrency1), kEur));
    ASSERT_TRUE(SelectComboIndex(Control(kIdCurrency2), kUsd));

    // Switch-on: the caption, the LED, the main dialog's buttons, the five settings.
    HWND led = GetDlgItem(MonitorPage(), kIdMonitorLed);
    RECT ledRect;
    ASSERT_TRUE(GetWindowRect(led, &ledRect));
    Pixels ledOff(ledRect.right - ledRect.left, ledRect.bottom - ledRect.top);
    ASSERT_TRUE(CaptureScreen(ledRect, ledOff));
    ASSERT_TRUE(ClickButton(OnOff()));
    ASSERT_TRUE(CaptionBecomes(OnOff(), L"OFF"));
    EXPECT_TRUE(WaitUntil(
        [&] {
            Pixels ledOn(ledOff.width(), ledOff.height());
            return CaptureScreen(ledRect, ledOn) && ledOn.Difference(ledOff) > 0;
        },
        kReactTimeout))
        << "the LED did not change";
    EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(Control(kIdChart)) && IsWindowEnabled(Control(kIdHide)); },
                          kReactTimeout));
    EXPECT_EQ(ReadUserDword(monitorKey, L"Interval"), std::optional<DWORD>(0));
    EXPECT_EQ(ReadUserDword(monitorKey, L"Position"), std::optional<DWORD>(1));
    EXPECT_EQ(ReadUserDword(monitorKey, L"bRateOnly"), std::optional<DWORD>(0));
    EXPECT_EQ(ReadUserDword(monitorKey, L"UpColor"), std::optional<DWORD>(0xFF0000));
    EXPECT_EQ(ReadUserDword(monitorKey, L"DownColor"), std::optional<DWORD>(0x0000FF));

    // The probe asks for dollars in yen, whatever pair was chosen.
    ASSERT_TRUE(WaitForRequests(1, kReactTimeout));
    EXPECT_NE(LastBody().find("<FromCurrency>USD</FromCurrency><ToCurrency>JPY</ToCurrency>"), std::string::npos)
        << LastBody();

    // The window: hidden (once its loop runs), layered, tool, click-through,
    // topmost, top right.
    HWND osd = WaitForOsd();
    ASSERT_NE(osd, nullptr);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(osd); }, kReactTimeout));
    const LONG_PTR exStyle = GetWindowLongPtrW(osd, GWL_EXSTYLE);
    for (LONG_PTR bit : {LONG_PTR{WS_EX_LAYERED}, LONG_PTR{WS_EX_TOOLWINDOW}, LONG_PTR{WS_EX_TRANSPARENT}, LONG_PTR{WS_EX_TOPMOST}})
        EXPECT_EQ(exStyle & bit, bit) << std::hex << bit;
    RECT rc;
    ASSERT_TRUE(GetWindowRect(osd, &rc));
    const int screenW = GetSystemMetrics(SM_CXSCREEN);
    EXPECT_EQ(rc.right - rc.left, screenW / 3);
    EXPECT_EQ(rc.left, screenW - screenW / 3);
    EXPECT_EQ(rc.top, 0);
    EXPECT_EQ(rc.bottom - rc.top, 80);
    EXPECT_EQ(Requests(), 1) << "a poll came at once instead of a period later";

    // First poll: a change from nothing, in the rise colour, for 10 s.
    ASSERT_NO_FATAL_FAILURE(ExpectShownIn(osd, kCaptureBlue, kCaptureRed));
    EXPECT_NE(LastBody().find("<FromCurrency>EUR</FromCurrency><ToCurrency>USD</ToCurrency>"), std::string::npos)
        << LastBody();
    EXPECT_EQ(Requests(), 2);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(osd); }, kShowTimeout)) << "never hidden";

    // A fall shows in the fall colour.
    ASSERT_NO_FATAL_FAILURE(SetRate("1.2"));
    ASSERT_NO_FATAL_FAILURE(ExpectShownIn(osd, kCaptureRed, kCaptureBlue));
    ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(osd); }, kShowTimeout));

    // The same rate again: asked for, not shown. A display would have put
    // the next poll 10 s further off; until it comes the window stays hidden.
    const int before = Requests();
    ASSERT_TRUE(WaitForRequests(before + 1));
    EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(osd) != FALSE || Requests() >= before + 2; }, kPeriodTimeout));
    EXPECT_FALSE(IsWindowVisible(osd));

    // Switch-off: caption, buttons, no more polls.
    ASSERT_TRUE(ClickButton(OnOff()));
    ASSERT_TRUE(CaptionBecomes(OnOff(), L"ON"));
    EXPECT_TRUE(WaitUntil([&] { return !IsWindowEnabled(Control(kIdChart)) && !IsWindowEnabled(Control(kIdHide)); },
                          kReactTimeout));
    const int stopped = Requests();
    EXPECT_FALSE(WaitForRequests(stopped + 1, milliseconds(25000))) << "polled while switched off";
    EXPECT_FALSE(IsWindowVisible(osd));

    // On again: the rate has not moved since before the switch-off, so the
    // next poll shows nothing.
    ASSERT_TRUE(ClickButton(OnOff()));
    ASSERT_TRUE(CaptionBecomes(OnOff(), L"OFF"));
    ASSERT_TRUE(WaitForRequests(stopped + 1));
    EXPECT_FALSE(WaitUntil([&] { return IsWindowVisible(osd) != FALSE; }, milliseconds(3000)));

    // The close box only hides the dialog; the monitor goes on.
    ASSERT_TRUE(ClickCloseBox(app_.mainDialog()));
    ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(app_.mainDialog()); }, kReactTimeout));
    const int hidden = Requests();
    EXPECT_TRUE(WaitForRequests(hidden + 1)) << "no poll after the close box";
    EXPECT_TRUE(app_.process().IsRunning());

    // The tray icon: clicks and presses open nothing, the release opens the menu.
    for (UINT mouse : {WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_RBUTTONDOWN}) {
        EXPECT_TRUE(SendTrayMouse(osd, kTrayCallback, kTrayIconId, mouse)) << "a menu opened for " << mouse;
        EXPECT_EQ(FindPopupMenu(app_.pid()), nullptr) << mouse;
    }
    ASSERT_TRUE(PostTrayMouse(osd, kTrayCallback, kTrayIconId, WM_RBUTTONUP));
    HWND menu = WaitForPopupMenu(app_.pid());
    ASSERT_NE(menu, nullptr);
    ASSERT_TRUE(ChooseMenuMnemonic(menu, L's'));  // 表示(&S)
    EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(app_.mainDialog()) != FALSE; }, kReactTimeout));

    // 終了(&X) ends the program, leaving no window.
    ASSERT_TRUE(PostTrayMouse(osd, kTrayCallback, kTrayIconId, WM_RBUTTONUP));
    menu = WaitForPopupMenu(app_.pid());
    ASSERT_NE(menu, nullptr);
    ASSERT_TRUE(ChooseMenuMnemonic(menu, L'x'));
    EXPECT_TRUE(app_.process().WaitForExit().has_value()) << "still running after 終了";
    EXPECT_FALSE(AnyCopyRunning());
}

TEST_F(MonitorTest, ExitButtonEndsARunningMonitorAndAProbeNobodyAnswersIsReported) {
    const std::wstring key = SectionKey(L"Service");
    ASSERT_TRUE(WriteUserString(key, L"ConversionRateUrl", RateServerUrl("closed", "/CurrencyConvertor.asmx")));
    ASSERT_TRUE(WriteUserString(key, L"ExchangeRateUrl", RateServerUrl("closed", "/soap")));
    ASSERT_TRUE(StartApp());

    ASSERT_TRUE(ClickButton(OnOff()));
    const auto box = WaitForMessageBox(app_.pid(), kPeriodTimeout);
    ASSERT_TRUE(box.has_value());
    EXPECT_EQ(box->text, L"Webサービス接続エラー!");
    EXPECT_EQ(IconName(box->icon), std::string(IconName(MessageBoxIcon::kExclamation)));
    ASSERT_TRUE(AnswerMessageBox(*box, IDOK));

    // The monitor runs all the same, with nothing to poll.
    HWND osd = WaitForOsd();
    ASSERT_NE(osd, nullptr);
    EXPECT_EQ(WindowText(OnOff()), L"OFF");

    ASSERT_TRUE(ClickButton(Control(kIdExit)));
    EXPECT_TRUE(app_.process().WaitForExit().has_value()) << "still running after the exit button";
    EXPECT_FALSE(AnyCopyRunning());
}

}  // namespace
}  // namespace driver::zelvane
