// The chart panel's drawing read off the screen: the program's own panel
// code, opened beside a stand-in owner (chart_probe) over a known history of
// 1, 5 and 100 samples with both limits set, so that no case waits for 100
// real poll periods. The samples rise evenly from 100 to 110; the limits are
// 108 and 102.
#include <gtest/gtest.h>

#include <string>

#include "tests/chart/chart_view.h"
#include "tests/driver/app_process.h"
#include "tests/driver/window_query.h"
#include "tests/driver/wine_path.h"

namespace driver::chart {
namespace {

constexpr double kHigh = 108.0;
constexpr double kLow = 102.0;

struct Expected {
    int w, h, n;
    double step() const { return w * 0.01; }
    // Sample k, newest first.
    double Value(int k) const { return n == 1 ? 100.0 : 100.0 + 10.0 * (n - 1 - k) / (n - 1); }
    // The run 100..110 fills the height.
    int Row(double v) const { return static_cast<int>(h / 2 - (v - 105.0) * h / 10.0); }
    int X(int k) const {
        return k == 0 ? w - static_cast<int>(step() * 0.5) : static_cast<int>(w - (k + 0.5) * step());
    }
};

class ChartProbe : public ::testing::TestWithParam<int> {
protected:
    // Starts the probe and waits for the finished slide and the drawing.
    void Open(int samples) {
        const std::wstring exe = ToWindowsPath(EnvVar(L"CHART_PROBE_EXE"));
        ASSERT_FALSE(exe.empty()) << "CHART_PROBE_EXE is not set";
        const std::wstring args = std::to_wstring(samples) + L" 108 102";
        ASSERT_TRUE(probe_.Start(exe, args)) << probe_.lastError();
        owner_ = WaitForTopLevel(probe_.pid(), nullptr, L"Chart probe");
        ASSERT_NE(owner_, nullptr);
        ASSERT_TRUE(WaitUntil(
            [&] {
                panel_ = FindPanel(probe_.pid());
                RECT o, p;
                if (!panel_ || !GetWindowRect(owner_, &o) || !GetWindowRect(panel_, &p)) return false;
                if (p.left != o.right - (p.right - p.left) % 5) return false;
                shot_ = CaptureClient(panel_);
                return shot_ && CountColour(*shot_, kBlue) > 0;
            },
            kWindowTimeout))
            << "no panel drawn beside the owner";
    }
    void TearDown() override { probe_.Kill(); }

    AppProcess probe_;
    HWND owner_ = nullptr;
    HWND panel_ = nullptr;
    std::unique_ptr<Pixels> shot_;
};

TEST_P(ChartProbe, DrawsTheRunAndTheLimits) {
    const int n = GetParam();
    ASSERT_NO_FATAL_FAILURE(Open(n));
    const Pixels& p = *shot_;
    const Expected e{p.width(), p.height(), n};
    ASSERT_GT(e.h, 20);

    if (n == 1) {
        // One sample has no range: its square sits in the middle of the right
        // edge, and limits above and below it lie outside the panel.
        const int y = e.h / 2;
        EXPECT_TRUE(ColourNear(p, e.X(0), y, 2, kBlue));
        EXPECT_EQ(CountOutside(p, RECT{e.X(0) - 4, y - 4, e.X(0) + 5, y + 5}, kBlue), 0);
        EXPECT_EQ(CountColour(p, kRed), 0);
    } else {
        for (int k = 0; k < n; ++k)
            EXPECT_TRUE(ColourNear(p, e.X(k), e.Row(e.Value(k)), 2, kBlue)) << "sample " << k;
        // The line is unbroken from the oldest sample to the newest, and
        // nothing blue lies left of the oldest.
        for (int x = e.X(n - 1) + 1; x < e.X(0); ++x) {
            bool blue = false;
            for (int y = 0; y < e.h && !blue; ++y) blue = p.at(x, y) == kBlue;
            EXPECT_TRUE(blue) << "no line in column " << x;
        }
        EXPECT_EQ(CountOutside(p, RECT{e.X(n - 1) - 3, 0, e.w, e.h}, kBlue), 0);

        for (double limit : {kHigh, kLow}) {
            const int y = e.Row(limit);
            // One pixel high, across the width but for its label and the
            // crossing rate line.
            EXPECT_GT(CountInRow(p, y, kRed), e.w * 7 / 10) << limit;
            EXPECT_LT(CountInRow(p, y - 1, kRed), e.w / 10) << limit;
            EXPECT_LT(CountInRow(p, y + 1, kRed), e.w / 10) << limit;
            // The label is text just above the line's row, left of the middle.
            bool ink = false;
            for (int yy = y - 8; yy <= y + 4 && !ink; ++yy)
                for (int xx = e.w / 2 - 5; xx < e.w / 2 + 25 && !ink; ++xx) {
                    const uint32_t c = p.at(xx, yy);
                    ink = c != kWhite && c != kRed && c != kBlue;
                }
            EXPECT_TRUE(ink) << "no label at " << limit;
        }
    }
    EXPECT_EQ(p.at(2, 2), kWhite);

    EXPECT_TRUE(SaveShot(p, "chart-" + std::to_string(n)));
}

INSTANTIATE_TEST_SUITE_P(Samples, ChartProbe, ::testing::Values(1, 5, 100));

}  // namespace
}  // namespace driver::chart
