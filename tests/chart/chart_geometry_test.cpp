#include "monitor/chart_geometry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>

#include "monitor/rate_history.h"

namespace {

using chart::Box;
using chart::Placement;
using chart::Point;

// Owner 300 x 420 at (100, 50); a panel 347 pixels wide, placed anywhere.
const Box kOwner{100, 50, 400, 470};
const Box kPanel{0, 0, 347, 130};

CRateHistory History(std::initializer_list<double> oldestFirst) {
    CRateHistory h;
    h.Reset();
    for (double v : oldestFirst) h.Push(v);
    return h;
}

TEST(ChartSlide, OutToTheRightInFivePixelStepsEndingWidthModFiveShortOfTheEdge) {
    const std::vector<Placement> steps = chart::SlideOutSteps(kOwner, kPanel, chart::kSideRight);
    ASSERT_EQ(steps.size(), 70u);  // offsets 0, 5, ..., 345
    for (size_t i = 0; i < steps.size(); ++i) {
        // The lower third of the owner: 420 / 3 = 140 high, bottom-aligned.
        EXPECT_EQ(steps[i], (Placement{400 - 347 + 5 * static_cast<int>(i), 470 - 140, 347, 140})) << i;
    }
    EXPECT_EQ(steps.back().x, 400 - 2);
    // The next move of the owner puts it exactly at the edge.
    EXPECT_EQ(chart::FollowPlacement(kOwner, kPanel), (Placement{400, 330, 347, 140}));
    const Box moved{150, 80, 450, 500};
    EXPECT_EQ(chart::FollowPlacement(moved, kPanel), (Placement{450, 360, 347, 140}));
}

TEST(ChartSlide, InFromTheStoredEdgeBackBehindTheOwner) {
    const std::vector<Placement> steps = chart::SlideInSteps(kOwner, kPanel, chart::kSideRight);
    ASSERT_EQ(steps.size(), 70u);
    EXPECT_EQ(steps.front(), (Placement{400, 330, 347, 140}));
    EXPECT_EQ(steps.back(), (Placement{400 - 345, 330, 347, 140}));
}

TEST(ChartSlide, LeftSideAndDegenerateCases) {
    const Box narrow{0, 0, 12, 30};
    const std::vector<Placement> out = chart::SlideOutSteps(kOwner, narrow, chart::kSideLeft);
    ASSERT_EQ(out.size(), 3u);  // offsets 0, 5, 10
    EXPECT_EQ(out.front().x, 100);
    EXPECT_EQ(out.back().x, 90);
    // Left slide-in starts where the panel is now.
    const Box there{90, 330, 102, 470};
    const std::vector<Placement> in = chart::SlideInSteps(kOwner, there, chart::kSideLeft);
    ASSERT_EQ(in.size(), 3u);
    EXPECT_EQ(in.back().x, 100);

    const Box negative{10, 0, 0, 30};
    EXPECT_TRUE(chart::SlideOutSteps(kOwner, negative, chart::kSideRight).empty());
    EXPECT_TRUE(chart::SlideOutSteps(kOwner, kPanel, 2).empty());
    EXPECT_TRUE(chart::SlideInSteps(kOwner, kPanel, -1).empty());
    // A zero-width panel still takes one step.
    EXPECT_EQ(chart::SlideOutSteps(kOwner, Box{5, 5, 5, 5}, chart::kSideRight).size(), 1u);
}

TEST(ChartScale, RunSpansTheHeightMaxAtTheTopMinAtTheBottom) {
    // Newest first: 105, 110, 100; the empty slots end the scan.
    const CRateHistory h = History({100.0, 110.0, 105.0});
    struct Case {
        int height;
        double value;
        int y;
    };
    const Case cases[] = {
        {100, 110.0, 0}, {100, 100.0, 100}, {100, 105.0, 50}, {100, 108.0, 20}, {100, 101.0, 90},
        // Odd height: h/2 is 50 while the scale is 10.1; rows truncate
        // toward zero, so -0.5 is 0 and 100.5 is 100.
        {101, 110.0, 0}, {101, 100.0, 100}, {101, 110.1, -1},
        // Outside the range: outside the panel.
        {100, 120.0, -100}, {100, 50.0, 600},
    };
    for (const Case& c : cases) {
        const chart::Scale scale(h, c.height);
        EXPECT_EQ(scale.count(), 3);
        EXPECT_EQ(scale.Y(c.value), c.y) << c.height << " " << c.value;
    }
}

TEST(ChartScale, ScanStopsAtTheFirstEmptySlotAndAfterTheWholeRing) {
    CRateHistory h = History({120.0, 0.0, 101.0, 102.0});
    const chart::Scale recent(h, 100);
    EXPECT_EQ(recent.count(), 2);
    EXPECT_EQ(recent.max(), 102.0);
    EXPECT_EQ(recent.min(), 101.0);

    for (int i = 0; i < 250; ++i) h.Push(50.0 + i);
    const chart::Scale full(h, 100);
    EXPECT_EQ(full.count(), 100);
    EXPECT_EQ(full.max(), 299.0);
    EXPECT_EQ(full.min(), 200.0);
}

TEST(ChartLayout, LimitsAreRedRowsWithTheirLabelsAndZeroDrawsNone) {
    const CRateHistory h = History({100.0, 110.0, 105.0});
    const chart::Drawing both = chart::LayOut(h, 345, 100, 3.45, 108.0, 101.0);
    ASSERT_EQ(both.limits.size(), 2u);
    EXPECT_EQ(both.limits[0].y, 20);
    EXPECT_EQ(both.limits[0].label, (Point{345 / 2 - 5, 12}));
    EXPECT_STREQ(both.limits[0].text, "high");
    EXPECT_EQ(both.limits[1].y, 90);
    EXPECT_EQ(both.limits[1].label, (Point{167, 82}));
    EXPECT_STREQ(both.limits[1].text, "low");

    const chart::Drawing lowOnly = chart::LayOut(h, 345, 100, 3.45, 0.0, 101.0);
    ASSERT_EQ(lowOnly.limits.size(), 1u);
    EXPECT_STREQ(lowOnly.limits[0].text, "low");
    EXPECT_TRUE(chart::LayOut(h, 345, 100, 3.45, 0.0, 0.0).limits.empty());

    // Just above the top: the label's row truncates toward zero on its own.
    const chart::Drawing above = chart::LayOut(h, 345, 101, 3.45, 110.1, 0.0);
    EXPECT_EQ(above.limits[0].y, -1);
    EXPECT_EQ(above.limits[0].label.y, -9);
}

// The panel's template scales its client size; what the drawing adds in
// pixels (the square, the labels' offsets) scales with the dpi.
TEST(ChartLayout, SquareAndLabelsAtTheScreenScale) {
    const CRateHistory h = History({100.0, 110.0, 105.0});
    const struct {
        int dpi, width, height, half, labelLeft, labelUp;
    } cases[] = {{96, 345, 100, 2, 5, 8}, {144, 518, 150, 3, 8, 12}, {192, 690, 200, 4, 10, 16}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.dpi);
        const chart::Drawing d = chart::LayOut(h, c.width, c.height, c.width * 0.01, 108.0, 0.0, c.dpi);
        EXPECT_EQ(d.square.right - d.square.left, 2 * c.half);
        EXPECT_EQ(d.square.bottom - d.square.top, 2 * c.half);
        ASSERT_EQ(d.limits.size(), 1u);
        EXPECT_EQ(d.limits[0].label.x, c.width / 2 - c.labelLeft);
        EXPECT_EQ(d.limits[0].y - d.limits[0].label.y, c.labelUp);
        // The plot stays inside the panel at every scale.
        EXPECT_GE(d.square.top, -c.half);
        for (const Point& p : d.line) {
            EXPECT_GE(p.x, 0);
            EXPECT_LE(p.y, c.height);
        }
    }
}

TEST(ChartLayout, FullHistorySpansTheWidthNewestAtTheRight) {
    CRateHistory h;
    h.Reset();
    for (int i = 0; i < 100; ++i) h.Push(100.0 + (i % 7));
    const double step = chart::SampleStep(345);
    EXPECT_DOUBLE_EQ(step, 3.45);
    const chart::Drawing d = chart::LayOut(h, 345, 130, step, 0.0, 0.0);

    EXPECT_EQ(d.start.x, 344);  // 345 - trunc(1.725)
    EXPECT_EQ(d.square.left, 342);
    EXPECT_EQ(d.square.right, 346);
    ASSERT_EQ(d.line.size(), 99u);
    EXPECT_EQ(d.line.front().x, 339);  // trunc(345 - 1.5 * 3.45)
    EXPECT_EQ(d.line.back().x, 1);     // trunc(345 - 99.5 * 3.45)
    for (size_t k = 1; k < d.line.size(); ++k) {
        const int gap = d.line[k - 1].x - d.line[k].x;
        EXPECT_TRUE(gap == 3 || gap == 4) << k;
    }
    // Samples 100..106: the rows cover the height exactly.
    int top = 1000, bottom = -1000;
    for (const Point& p : d.line) {
        top = std::min(top, p.y);
        bottom = std::max(bottom, p.y);
    }
    EXPECT_EQ(top, 0);
    EXPECT_EQ(bottom, 130);
}

TEST(ChartLayout, EmptyHistoryDrawsOnlyTheSquareAtTheTopRight) {
    CRateHistory h;
    h.Reset();
    const chart::Drawing d = chart::LayOut(h, 345, 131, 3.45, 0.0, 0.0);
    EXPECT_TRUE(d.line.empty());
    EXPECT_TRUE(d.limits.empty());
    EXPECT_EQ(d.start, (Point{344, 0}));
    EXPECT_EQ(d.square.top, -2);
    EXPECT_EQ(d.square.bottom, 1);

    // Not even reset: nothing to scan either.
    const chart::Drawing never = chart::LayOut(CRateHistory{}, 345, 131, 3.45, 0.0, 0.0);
    EXPECT_TRUE(never.line.empty());
    EXPECT_EQ(never.start, (Point{344, 0}));
}

TEST(ChartLayout, EqualSamplesLieFlatThroughTheMiddle) {
    for (const auto& samples : {History({118.25}), History({118.25, 118.25, 118.25, 118.25, 118.25})}) {
        const chart::Drawing d = chart::LayOut(samples, 345, 131, 3.45, 120.0, 110.0);
        EXPECT_EQ(d.start.y, 65);
        EXPECT_EQ(d.square.top, 63);
        EXPECT_EQ(d.square.bottom, 67);
        for (const Point& p : d.line) EXPECT_EQ(p.y, 65);
        // Limits above and below a flat run are outside the panel.
        ASSERT_EQ(d.limits.size(), 2u);
        EXPECT_LT(d.limits[0].y, 0);
        EXPECT_LT(d.limits[0].label.y + 20, 0);
        EXPECT_GT(d.limits[1].y, 131);
    }
    const chart::Drawing on = chart::LayOut(History({118.25}), 345, 131, 3.45, 118.25, 0.0);
    EXPECT_EQ(on.limits[0].y, 65);
}

TEST(ChartLayout, FarLimitOverANarrowRangeStaysAnInt) {
    const CRateHistory h = History({1.0, 1.0000001});
    const chart::Drawing d = chart::LayOut(h, 345, 130, 3.45, 1e9, 1e-9);
    ASSERT_EQ(d.limits.size(), 2u);
    EXPECT_LT(d.limits[0].y, -100000);
    EXPECT_GT(d.limits[1].y, 100000);
}

}  // namespace
