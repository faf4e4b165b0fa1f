// Where the chart panel goes and what it draws, as plain numbers: the slide
// animation's positions, the place beside the main dialog, and the chart's
// coordinates. The panel's window code only replays these through GDI.
#pragma once

#include <vector>

class CRateHistory;

namespace chart {

// A window rectangle in screen pixels, as GetWindowRect gives it.
struct Box {
    int left = 0, top = 0, right = 0, bottom = 0;
};

struct Placement {
    int x = 0, y = 0, width = 0, height = 0;
    bool operator==(const Placement& o) const {
        return x == o.x && y == o.y && width == o.width && height == o.height;
    }
};

struct Point {
    int x = 0, y = 0;
    bool operator==(const Point& o) const { return x == o.x && y == o.y; }
};

// The side of the owner the panel slides out to (m_nSide).
constexpr int kSideLeft = 0;
constexpr int kSideRight = 1;
constexpr int kSlideStepPx = 5;

// The panel's place at each animation step, first to last. The panel keeps
// its width and takes the lower third of the owner's height. Empty for a
// negative width or an unknown side.
std::vector<Placement> SlideOutSteps(const Box& parent, const Box& self, int side);
// Sliding back behind the owner. Right: parent and self as stored at the
// slide-out; left: self as read now.
std::vector<Placement> SlideInSteps(const Box& parent, const Box& self, int side);
// Beside the owner's right edge after the owner moved; self gives the width.
Placement FollowPlacement(const Box& parent, const Box& self);

// Horizontal pixels between two samples (m_dStep).
double SampleStep(int clientWidth);

// The vertical scale of one chart: the scanned samples span the client
// height, the highest at the top.
class Scale {
public:
    // Scans newest to oldest while samples are above 0.
    Scale(const CRateHistory& history, int height);

    int count() const { return count_; }
    double max() const { return max_; }
    double min() const { return min_; }
    // Unrounded row of a value.
    double Row(double v) const;
    // The row as a drawing coordinate: truncated toward zero.
    int Y(double v) const;

private:
    int height_;
    int count_ = 0;
    double max_ = 0.0;
    double min_ = 100000.0;
    double mid_ = 0.0;
    double scale_ = 0.0;
};

struct LimitLine {
    int y = 0;  // the line runs from x = 0 to x = client width
    Point label;
    const char* text = "";
};

// Everything the chart draws, in client coordinates.
struct Drawing {
    std::vector<LimitLine> limits;  // red, 1 pixel: the high limit first
    // The newest sample's square, Rectangle(left, top, right, bottom).
    Box square;
    Point start;                 // the newest sample, where the line starts
    std::vector<Point> line;     // blue, 2 pixels: older samples in turn
};

// A limit of 0 draws no line. The square and the labels' offsets are laid
// out at 96 dpi and scaled to dpi; the samples' places follow the client
// size, which the panel's template scales already.
Drawing LayOut(const CRateHistory& history, int width, int height, double step, double limitHigh,
               double limitLow, int dpi = 96);

// Truncation toward zero, kept inside what GDI takes: a limit far outside a
// narrow range would otherwise overflow an int.
int Truncate(double v);

}  // namespace chart
