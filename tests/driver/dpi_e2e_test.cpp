// The real program at the screen scale the prefix is set to (ZELVANE_TEST_DPI:
// 96, or 144 after tests/driver/set_dpi.sh), against the scripted rate peer.
// One run measures what the program draws in pixels and writes the figures
// down; the run at 144 holds them against the run at 96: everything grows by
// the scale, and nothing is cut off. The run at 96 also covers the manner
// over a full-screen program.
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>

#include "tests/chart/chart_view.h"
#include "tests/driver/monitor_peer_test.h"
#include "tests/driver/combo_box.h"
#include "tests/driver/file_text.h"
#include "tests/driver/rate_servers.h"
#include "tests/driver/registry.h"
#include "tests/driver/screen.h"
#include "tests/driver/wine_path.h"

namespace driver::zelvane {
namespace {

constexpr int kEur = 42;
constexpr int kUsd = 138;
constexpr int kIdQuiet = 1049;
constexpr milliseconds kPeriodTimeout{45000};
constexpr milliseconds kShowTimeout{30000};
// Rounding of two scaled sizes, and of glyphs drawn at two font heights.
constexpr int kSlackPx = 2;

int TestDpi() {
    const char* v = std::getenv("ZELVANE_TEST_DPI");
    return v ? std::atoi(v) : 96;
}

std::wstring FiguresPath(int dpi) {
    const std::string path = std::string(ZELVANE_CHART_SHOTS) + "/dpi-" + std::to_string(dpi) + ".txt";
    return ToWindowsPath(std::wstring(path.begin(), path.end()));
}

// Bounding box of the pixels of one colour (or of every pixel not of it).
struct Extent {
    int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;  // inclusive
    bool empty() const { return right < 0; }
    int width() const { return right - left + 1; }
    int height() const { return bottom - top + 1; }
};

Extent ExtentOf(const Pixels& p, uint32_t colour, bool other = false) {
    Extent e;
    for (int y = 0; y < p.height(); ++y)
        for (int x = 0; x < p.width(); ++x) {
            if ((p.at(x, y) == colour) == other) continue;
            e.left = std::min(e.left, x);
            e.right = std::max(e.right, x);
            e.top = std::min(e.top, y);
            e.bottom = std::max(e.bottom, y);
        }
    return e;
}

std::unique_ptr<Pixels> Capture(HWND hwnd) {
    RECT rc;
    if (!GetWindowRect(hwnd, &rc)) return nullptr;
    auto shot = std::make_unique<Pixels>(rc.right - rc.left, rc.bottom - rc.top);
    if (!shot->ok() || !CaptureScreen(rc, *shot)) return nullptr;
    return shot;
}


// A borderless topmost window over the whole screen, in the foreground, as
// a game or a slide show makes it.
class FullScreenWindow {
public:
    FullScreenWindow() {
        hwnd_ = CreateWindowExW(WS_EX_TOPMOST, L"STATIC", L"full screen", WS_POPUP | WS_VISIBLE, 0, 0,
                                GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), nullptr, nullptr,
                                nullptr, nullptr);
        if (hwnd_) SetForegroundWindow(hwnd_);
    }
    ~FullScreenWindow() {
        if (hwnd_) DestroyWindow(hwnd_);
    }
    HWND hwnd() const { return hwnd_; }
    // Keeps its own messages moving while the test waits.
    static void Pump() {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }

private:
    HWND hwnd_ = nullptr;
};

class DpiTest : public MonitorPeerTest {
protected:
    DpiTest() : MonitorPeerTest("dpi") {}
    void SetUp() override {
        // A run at 96 that fails must leave no figures behind: the run at
        // 144 would hold itself against an earlier run's.
        if (TestDpi() == 96) {
            ASSERT_TRUE(DeleteFileW(FiguresPath(96).c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND)
                << "figures of an earlier run stay";
        }
        // Coordinates of the program's windows as they are on the screen,
        // not as an unaware driver would be shown them.
        SetProcessDPIAware();
        MonitorPeerTest::SetUp();
    }
    HWND MonitorPage() const { return app_.PageWith(kIdInterval); }

    void SwitchOn(HWND onOff) {
        ASSERT_TRUE(ClickButton(onOff));
        ASSERT_TRUE(CaptionBecomes(onOff, L"OFF"));
    }

    std::map<std::string, int> figures_;
};

TEST_F(DpiTest, WhatIsDrawnInPixelsFollowsTheScreenScale) {
    const int dpi = TestDpi();
    HDC screen = GetDC(nullptr);
    const int screenDpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    ASSERT_EQ(screenDpi, dpi) << "the prefix is not at the scale this run is for";

    ASSERT_TRUE(peer_.Use());
    ASSERT_TRUE(peer_.SetRate("1.2345"));
    ASSERT_TRUE(WriteUserDword(SectionKey(L"Monitor"), L"Position", 1));  // top right, where a cut shows
    ASSERT_TRUE(WriteUserDword(LogKey(), L"DateFormat", 1));
    ASSERT_TRUE(WriteUserDword(LogKey(), L"TimeFormat", 0));
    ASSERT_TRUE(WriteUserDword(LogKey(), L"Delimiter", 2));
    ASSERT_TRUE(WriteUserString(LogKey(), L"FolderPath", folder_));
    ASSERT_TRUE(StartApp());
    ASSERT_TRUE(SelectComboIndex(Control(kIdCurrency1), kEur));
    ASSERT_TRUE(SelectComboIndex(Control(kIdCurrency2), kUsd));

    // The page below the tab row, which grows with the scale.
    RECT page{};
    ASSERT_TRUE(GetWindowRect(MonitorPage(), &page));
    POINT pageTop{page.left, page.top};
    ScreenToClient(Control(kIdTab), &pageTop);
    figures_["page.y"] = pageTop.y;
    RECT tab{};
    ASSERT_TRUE(GetWindowRect(Control(kIdTab), &tab));
    EXPECT_LE(page.bottom, tab.bottom) << "the page runs past the tab's frame";

    // The full-screen box: on by default, saved at switch-on.
    HWND quiet = GetDlgItem(MonitorPage(), kIdQuiet);
    EXPECT_NE(quiet, nullptr) << "no full-screen box";
    if (quiet) {
        EXPECT_EQ(WindowText(quiet), L"全画面表示中は表示しない");
        EXPECT_TRUE(IsChecked(quiet));
    }

    // The LED's icon: the pixels that are not the button face.
    HWND led = GetDlgItem(MonitorPage(), kIdMonitorLed);
    auto ledShot = Capture(led);
    ASSERT_TRUE(ledShot);
    const Extent ledIcon = ExtentOf(*ledShot, ledShot->at(0, 0), true);
    ASSERT_FALSE(ledIcon.empty()) << "no LED icon";
    figures_["led"] = ledIcon.height();

    ASSERT_TRUE(ShowTab(kTabLog, LogPage()));
    ASSERT_NO_FATAL_FAILURE(SwitchOn(Log(kIdLogSwitch)));
    ASSERT_TRUE(ShowTab(kTabMonitor, MonitorPage()));
    ASSERT_NO_FATAL_FAILURE(SwitchOn(GetDlgItem(MonitorPage(), kIdMonitorOnOff)));
    EXPECT_EQ(ReadUserDword(SectionKey(L"Monitor"), L"bQuietFullScreen"), std::optional<DWORD>(1));

    HWND osd = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (osd = app_.OsdWindow()) != nullptr; }, kWindowTimeout));
    // Created visible, hidden once its loop runs, shown at the first poll.
    ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(osd); }, kReactTimeout));
    ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(osd) != FALSE; }, kPeriodTimeout)) << "never shown";

    // The first rate, in the rise colour: all of its glyphs inside the
    // window, clear of the edges.
    std::unique_ptr<Pixels> osdShot;
    Extent glyphs;
    EXPECT_TRUE(WaitUntil(
        [&] {
            osdShot = Capture(osd);
            if (!osdShot) return false;
            glyphs = ExtentOf(*osdShot, chart::kBlue);
            return !glyphs.empty() && glyphs.width() > glyphs.height() * 5;
        },
        kReactTimeout))
        << "no text: " << glyphs.left << "," << glyphs.top << " " << glyphs.width() << "x" << glyphs.height();
    ASSERT_TRUE(osdShot);
    chart::SaveShot(*osdShot, "dpi-" + std::to_string(dpi) + "-osd");
    EXPECT_LT(glyphs.right, osdShot->width() - 1) << "text cut off at the right";
    EXPECT_LT(glyphs.bottom, osdShot->height() - 1) << "text cut off at the bottom";
    figures_["osd.height"] = osdShot->height();
    figures_["osd.margin"] = glyphs.left;
    figures_["text.width"] = glyphs.width();
    figures_["text.height"] = glyphs.height();

    // The chart over one sample: the newest sample's square.
    ASSERT_TRUE(ClickButton(Control(kIdChart)));
    HWND panel = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (panel = chart::FindPanel(app_.pid())) != nullptr; }, kReactTimeout));
    ASSERT_TRUE(WaitUntil([&] { return WindowText(Control(kIdChart)) == L"チャート <<"; }, kReactTimeout));
    std::unique_ptr<Pixels> chartShot;
    Extent square;
    EXPECT_TRUE(WaitUntil(
        [&] {
            chartShot = chart::CaptureClient(panel);
            return chartShot && !(square = ExtentOf(*chartShot, chart::kBlue)).empty();
        },
        kReactTimeout))
        << "no square";
    ASSERT_TRUE(chartShot);
    EXPECT_LT(square.right, chartShot->width()) << "square outside the panel";
    figures_["chart.square"] = square.width();
    figures_["chart.width"] = chartShot->width();

    // The dialog, the panel and the window as the user sees them.
    RECT dlg{}, pan{};
    GetWindowRect(app_.mainDialog(), &dlg);
    GetWindowRect(panel, &pan);
    RECT all{std::min(dlg.left, pan.left), 0, std::max(dlg.right, pan.right), std::max(dlg.bottom, pan.bottom)};
    all.right = std::max<LONG>(all.right, GetSystemMetrics(SM_CXSCREEN));
    Pixels whole(all.right - all.left, all.bottom - all.top);
    if (whole.ok() && CaptureScreen(all, whole)) chart::SaveShot(whole, "dpi-" + std::to_string(dpi) + "-screen");

    {
        std::ofstream out(FiguresPath(dpi).c_str());
        for (const auto& [name, value] : figures_) out << name << ' ' << value << '\n';
    }
    if (dpi != 96) {
        std::ifstream in(FiguresPath(96).c_str());
        ASSERT_TRUE(in) << "no figures of a run at 96 dpi; run the case at 96 first";
        std::string name;
        int base = 0;
        while (in >> name >> base) {
            const double expected = base * dpi / 96.0;
            // The glyphs' advances are whole pixels at each height: over a
            // line of text the rounding adds up to a few per cent.
            const double slack = name == "text.width" ? expected * 0.06 : kSlackPx;
            EXPECT_NEAR(figures_[name], expected, slack) << name << " at 96 dpi: " << base;
        }
        return;
    }

    // Over a full-screen program a changed rate neither shows nor sounds, but
    // is logged. Shown again once the program is gone.
    ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(osd); }, kShowTimeout)) << "never hidden";
    ASSERT_TRUE(ClickButton(Control(kIdChart)));
    ASSERT_TRUE(WaitUntil([&] { return chart::FindPanel(app_.pid()) == nullptr; }, kReactTimeout));
    {
        FullScreenWindow fullScreen;
        ASSERT_NE(fullScreen.hwnd(), nullptr);
        ASSERT_TRUE(WaitUntil(
            [&] {
                FullScreenWindow::Pump();
                return GetForegroundWindow() == fullScreen.hwnd();
            },
            kReactTimeout));
        const int before = peer_.Requests();
        ASSERT_TRUE(peer_.SetRate("1.3"));
        bool shown = false;
        ASSERT_TRUE(WaitUntil(
            [&] {
                FullScreenWindow::Pump();
                shown = shown || IsWindowVisible(osd);
                return peer_.Requests() > before && Lines(ReadAll(LogFile())) >= 2;
            },
            kPeriodTimeout, milliseconds(200)))
            << ReadAll(LogFile());
        EXPECT_FALSE(WaitUntil(
            [&] {
                FullScreenWindow::Pump();
                return shown = shown || IsWindowVisible(osd);
            },
            milliseconds(2000)))
            << "shown over the full-screen window";
        EXPECT_NE(ReadAll(LogFile()).find(",1.3000\r\n"), std::string::npos) << ReadAll(LogFile());
    }
    const int before = peer_.Requests();
    ASSERT_TRUE(peer_.SetRate("1.25"));
    EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(osd) != FALSE; }, kPeriodTimeout))
        << "not shown once the full-screen window was gone";
    EXPECT_GT(peer_.Requests(), before);
}

}  // namespace
}  // namespace driver::zelvane
