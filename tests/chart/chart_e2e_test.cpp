// The chart panel in the real program under Wine: the monitor switched on
// against the scripted rate peer of tests/services, the chart button opens
// the panel beside the main dialog, the panel follows the dialog's moves,
// and each way of closing it takes it away and resets the button.
#include <cstdlib>
#include <string>

#include "tests/chart/chart_view.h"
#include "tests/driver/e2e_fixture.h"
#include "tests/driver/rate_servers.h"
#include "tests/driver/registry.h"
#include "tests/driver/user_input.h"
#include "tests/driver/window_query.h"

namespace driver::zelvane {
namespace {

using chart::FindPanel;

constexpr wchar_t kChartClosed[] = L"チャート >>";
constexpr wchar_t kChartOpen[] = L"チャート <<";
// The first poll comes one 20 s period after the switch-on.
constexpr milliseconds kFirstPollTimeout{60000};

class ChartTest : public ZelvaneTest {
protected:
    void SetUp() override {
        ZelvaneTest::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_TRUE(ScriptedRatePeer::ServersRunning()) << "no rate servers in " << RateServerDir();
        // The scripted peer answers with the rate last set and counts the
        // requests.
        peer_ = ScriptedRatePeer::Unique("chart");
        ASSERT_TRUE(peer_.SetRate("118.25"));
        ASSERT_TRUE(peer_.Use());
    }

    // The program's requests less its start-up probe.
    int Polls() const { return peer_.Requests() - 1; }
    HWND OnOff() const { return GetDlgItem(app_.PageWith(kIdInterval), kIdMonitorOnOff); }
    bool TextBecomes(HWND hwnd, const std::wstring& text) const {
        return WaitUntil([&] { return WindowText(hwnd) == text; }, kReactTimeout);
    }

    // Starts the program and switches the monitor on.
    void StartMonitor() {
        ASSERT_TRUE(StartApp());
        EXPECT_FALSE(IsWindowEnabled(Control(kIdChart)));
        ASSERT_TRUE(ClickButton(OnOff()));
        ASSERT_TRUE(TextBecomes(OnOff(), L"OFF"));
        ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(Control(kIdChart)) != FALSE; }, kReactTimeout));
    }

    // Presses the chart button and waits for the panel to finish sliding out.
    HWND OpenPanel() {
        if (!ClickButton(Control(kIdChart))) return nullptr;
        HWND panel = nullptr;
        const bool slidOut = WaitUntil(
            [&] {
                panel = FindPanel(app_.pid());
                RECT m, p;
                return panel && GetWindowRect(app_.mainDialog(), &m) && GetWindowRect(panel, &p) &&
                       p.left == m.right - (p.right - p.left) % 5;
            },
            kReactTimeout);
        if (!slidOut) return nullptr;
        EXPECT_TRUE(TextBecomes(Control(kIdChart), kChartOpen));
        return panel;
    }

    // Waits until the panel's window is gone; true when it was seen moving
    // back behind the dialog first.
    struct Closing {
        bool gone = false;
        bool slidIn = false;
    };
    static Closing WatchClose(HWND panel) {
        Closing c;
        RECT open{};
        GetWindowRect(panel, &open);
        c.gone = WaitUntil(
            [&] {
                RECT now;
                if (!IsWindow(panel) || !GetWindowRect(panel, &now)) return true;
                if (now.left < open.left) c.slidIn = true;
                return false;
            },
            kReactTimeout, milliseconds(2));
        return c;
    }
    void ExpectClosedBySlide(HWND panel) {
        const Closing c = WatchClose(panel);
        EXPECT_TRUE(c.gone);
        EXPECT_TRUE(c.slidIn);
        EXPECT_TRUE(TextBecomes(Control(kIdChart), kChartClosed));
    }

    ScriptedRatePeer peer_;
};

TEST_F(ChartTest, OpensBesideTheDialogFollowsItAndClosesWithTheButton) {
    ASSERT_NO_FATAL_FAILURE(StartMonitor());
    HWND panel = OpenPanel();
    ASSERT_NE(panel, nullptr);

    // 230 x 86 dialog units wide, the lower third of the dialog high, its
    // left edge (width mod 5) pixels short of the dialog's right edge.
    const SIZE size = chart::TemplateWindowSize(230, 86);
    RECT m, p;
    ASSERT_TRUE(GetWindowRect(app_.mainDialog(), &m) && GetWindowRect(panel, &p));
    EXPECT_EQ(p.right - p.left, size.cx);
    EXPECT_EQ(p.bottom - p.top, (m.bottom - m.top) / 3);
    EXPECT_EQ(p.bottom, m.bottom);
    EXPECT_EQ(p.left, m.right - size.cx % 5);

    // No poll yet: only the newest sample's square, at the top right.
    std::unique_ptr<Pixels> shot;
    ASSERT_TRUE(WaitUntil([&] { return (shot = chart::CaptureClient(panel)) && CountColour(*shot, chart::kBlue) > 0; },
                          kReactTimeout));
    const int x0 = shot->width() - static_cast<int>(shot->width() * 0.01 * 0.5);
    EXPECT_TRUE(chart::ColourNear(*shot, x0, 0, 2, chart::kBlue));
    EXPECT_EQ(chart::CountOutside(*shot, RECT{x0 - 4, 0, x0 + 5, 4}, chart::kBlue), 0);
    EXPECT_EQ(shot->at(10, shot->height() / 2), chart::kWhite);

    // The dialog moves; the panel keeps to its right edge, exactly there now.
    SetWindowPos(app_.mainDialog(), nullptr, m.left + 37, m.top + 23, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_TRUE(WaitUntil(
        [&] {
            RECT mm, pp;
            return GetWindowRect(app_.mainDialog(), &mm) && GetWindowRect(panel, &pp) && mm.left == m.left + 37 &&
                   pp.left == mm.right && pp.bottom == mm.bottom && pp.right - pp.left == size.cx &&
                   pp.bottom - pp.top == (mm.bottom - mm.top) / 3;
        },
        kReactTimeout));

    ASSERT_TRUE(ClickButton(Control(kIdChart)));
    ExpectClosedBySlide(panel);
    EXPECT_EQ(FindPanel(app_.pid()), nullptr);

    // And opens again.
    panel = OpenPanel();
    EXPECT_NE(panel, nullptr);
}

TEST_F(ChartTest, HideClosesThePanelBeforeHidingTheDialog) {
    ASSERT_NO_FATAL_FAILURE(StartMonitor());
    HWND panel = OpenPanel();
    ASSERT_NE(panel, nullptr);
    ASSERT_TRUE(ClickButton(Control(kIdHide)));
    ExpectClosedBySlide(panel);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(app_.mainDialog()); }, kReactTimeout));
}

TEST_F(ChartTest, CloseBoxClosesThePanel) {
    ASSERT_NO_FATAL_FAILURE(StartMonitor());
    HWND panel = OpenPanel();
    ASSERT_NE(panel, nullptr);
    ASSERT_TRUE(ClickCloseBox(app_.mainDialog()));
    ExpectClosedBySlide(panel);
}

TEST_F(ChartTest, SwitchingTheMonitorOffClosesThePanel) {
    ASSERT_NO_FATAL_FAILURE(StartMonitor());
    HWND panel = OpenPanel();
    ASSERT_NE(panel, nullptr);
    ASSERT_TRUE(ClickButton(OnOff()));
    ExpectClosedBySlide(panel);
    EXPECT_TRUE(TextBecomes(OnOff(), L"ON"));
    EXPECT_FALSE(IsWindowEnabled(Control(kIdChart)));
}

TEST_F(ChartTest, EscapeInThePanelClosesItTheButtonsWay) {
    ASSERT_NO_FATAL_FAILURE(StartMonitor());
    HWND panel = OpenPanel();
    ASSERT_NE(panel, nullptr);
    // What the dialog manager makes of Escape; the monitor's message loop
    // does no dialog keyboard handling of its own.
    ASSERT_TRUE(PostMessageW(panel, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0));
    ExpectClosedBySlide(panel);
    // Closed for the dialog too: the next press opens it again.
    EXPECT_NE(OpenPanel(), nullptr);
}

TEST_F(ChartTest, ExitWithThePanelOpenEndsTheProgram) {
    ASSERT_NO_FATAL_FAILURE(StartMonitor());
    HWND panel = OpenPanel();
    ASSERT_NE(panel, nullptr);
    ASSERT_TRUE(ClickButton(Control(kIdExit)));
    const Closing c = WatchClose(panel);
    EXPECT_TRUE(c.gone);
    EXPECT_FALSE(c.slidIn);
    EXPECT_TRUE(app_.process().WaitForExit().has_value());
}

TEST_F(ChartTest, RealPollsDrawTheirSquareThenTheirLine) {
    ASSERT_NO_FATAL_FAILURE(StartMonitor());
    // A poll runs in one handler: once its request reached the peer, the
    // chart button's click waits until the rate is in the history.
    ASSERT_TRUE(WaitUntil([&] { return Polls() >= 1; }, kFirstPollTimeout)) << "no poll";

    // One sample has no range: a square in the middle of the right edge.
    HWND panel = OpenPanel();
    ASSERT_NE(panel, nullptr);
    std::unique_ptr<Pixels> shot;
    ASSERT_TRUE(WaitUntil([&] { return (shot = chart::CaptureClient(panel)) && CountColour(*shot, chart::kBlue) > 0; },
                          kReactTimeout));
    const int w = shot->width(), h = shot->height();
    const double step = w * 0.01;
    const int x0 = w - static_cast<int>(step * 0.5);
    EXPECT_TRUE(chart::ColourNear(*shot, x0, h / 2, 2, chart::kBlue));
    EXPECT_EQ(chart::CountOutside(*shot, RECT{x0 - 4, h / 2 - 4, x0 + 5, h / 2 + 5}, chart::kBlue), 0);
    EXPECT_EQ(CountColour(*shot, chart::kRed), 0);  // no limits set
    ASSERT_TRUE(ClickButton(Control(kIdChart)));
    ExpectClosedBySlide(panel);

    // Two more polls, each a change: 118.25, 119.50, 118.75, newest last.
    for (const char* rate : {"119.50", "118.75"}) {
        const int before = Polls();
        ASSERT_TRUE(peer_.SetRate(rate));
        ASSERT_TRUE(WaitUntil([&] { return Polls() > before; }, kFirstPollTimeout)) << "no poll for " << rate;
    }
    panel = OpenPanel();
    ASSERT_NE(panel, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return (shot = chart::CaptureClient(panel)) && CountColour(*shot, chart::kBlue) > 0; },
                          kReactTimeout));
    // The highest at the top, the lowest at the bottom, the newest between.
    const int y0 = static_cast<int>(h / 2 - (118.75 - 118.875) * h / 1.25);
    EXPECT_TRUE(chart::ColourNear(*shot, x0, y0, 2, chart::kBlue));
    EXPECT_TRUE(chart::ColourNear(*shot, static_cast<int>(w - 1.5 * step), 0, 2, chart::kBlue));
    EXPECT_TRUE(chart::ColourNear(*shot, static_cast<int>(w - 2.5 * step), h, 2, chart::kBlue));
    EXPECT_EQ(chart::CountOutside(*shot, RECT{static_cast<int>(w - 2.5 * step) - 3, 0, w, h}, chart::kBlue), 0);

    // The dialog with its panel, kept for a look by eye: moved clear of the
    // rate window's corner, the panel along with it.
    SetWindowPos(app_.mainDialog(), nullptr, 120, 100, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ASSERT_TRUE(WaitUntil(
        [&] {
            RECT mm, pp;
            return GetWindowRect(app_.mainDialog(), &mm) && GetWindowRect(panel, &pp) && mm.left == 120 &&
                   pp.left == mm.right && pp.bottom == mm.bottom;
        },
        kReactTimeout));
    RECT m, p;
    ASSERT_TRUE(GetWindowRect(app_.mainDialog(), &m) && GetWindowRect(panel, &p));
    const RECT both = {m.left, m.top, p.right, m.bottom};
    // Both repainted after the move: two captures in a row alike.
    Pixels whole(both.right - both.left, both.bottom - both.top), last(whole.width(), whole.height());
    ASSERT_TRUE(WaitUntil(
        [&] {
            if (!CaptureScreen(both, whole)) return false;
            const bool settled = whole.Difference(last) == 0;
            CaptureScreen(both, last);
            return settled && CountColour(whole, chart::kBlue) > 0;
        },
        kReactTimeout, milliseconds(300)));
    EXPECT_TRUE(chart::SaveShot(whole, "zelvane-chart"));
}

}  // namespace
}  // namespace driver::zelvane
