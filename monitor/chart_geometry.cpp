#include "monitor/chart_geometry.h"

#include <cmath>

#include "monitor/rate_history.h"
#include "ui/dpi.h"

namespace chart {

namespace {

// Further than any screen, well inside GDI's coordinate space.
constexpr double kFar = 1 << 20;

struct Band {
    int y, height;
};

// The lower third of the owner.
Band LowerThird(const Box& parent) {
    const int h = (parent.bottom - parent.top) / 3;
    return {parent.bottom - h, h};
}

std::vector<Placement> Steps(int x, int dx, int width, Band band) {
    std::vector<Placement> steps;
    if (width < 0) return steps;
    steps.reserve(static_cast<size_t>(width / kSlideStepPx + 1));
    for (int offset = 0; offset <= width; offset += kSlideStepPx, x += dx)
        steps.push_back({x, band.y, width, band.height});
    return steps;
}

}  // namespace

std::vector<Placement> SlideOutSteps(const Box& parent, const Box& self, int side) {
    const int width = self.right - self.left;
    switch (side) {
    case kSideRight: return Steps(parent.right - width, kSlideStepPx, width, LowerThird(parent));
    case kSideLeft: return Steps(parent.left, -kSlideStepPx, width, LowerThird(parent));
    default: return {};
    }
}

std::vector<Placement> SlideInSteps(const Box& parent, const Box& self, int side) {
    const int width = self.right - self.left;
    switch (side) {
    case kSideRight: return Steps(parent.right, -kSlideStepPx, width, LowerThird(parent));
    case kSideLeft: return Steps(self.left, kSlideStepPx, width, LowerThird(parent));
    default: return {};
    }
}

Placement FollowPlacement(const Box& parent, const Box& self) {
    const Band band = LowerThird(parent);
    return {parent.right, band.y, self.right - self.left, band.height};
}

double SampleStep(int clientWidth) { return clientWidth * 0.01; }

int Truncate(double v) {
    if (std::isnan(v)) return 0;
    if (v > kFar) v = kFar;
    if (v < -kFar) v = -kFar;
    return static_cast<int>(v);
}

Scale::Scale(const CRateHistory& history, int height) : height_(height) {
    for (int k = 0; k < history.capacity(); ++k) {
        const double sample = history.Newest(k);
        if (!(sample > 0.0)) break;
        if (sample > max_) max_ = sample;
        if (sample < min_) min_ = sample;
        ++count_;
    }
    mid_ = (max_ + min_) * 0.5;
    // Equal samples (one poll, or a rate that never moved) have no range to
    // scale: Row draws them flat through the middle.
    if (max_ != min_) scale_ = height_ / (max_ - min_);
}

double Scale::Row(double v) const {
    const int middle = height_ / 2;
    if (count_ > 0 && max_ == min_) {
        // Like any value outside the sampled range, a limit above or below
        // a flat run lies outside the panel.
        if (v > mid_) return -static_cast<double>(height_);
        if (v < mid_) return 2.0 * height_;
        return middle;
    }
    return middle - (v - mid_) * scale_;
}

int Scale::Y(double v) const { return Truncate(Row(v)); }

Drawing LayOut(const CRateHistory& history, int width, int height, double step, double limitHigh,
               double limitLow, int dpi) {
    const Scale scale(history, height);
    const int half = ui::ScaleForDpi(2, dpi);  // of the newest sample's square
    const int labelLeft = ui::ScaleForDpi(5, dpi);
    const int labelUp = ui::ScaleForDpi(8, dpi);
    Drawing d;
    const struct {
        double value;
        const char* text;
    } limits[] = {{limitHigh, "high"}, {limitLow, "low"}};
    for (const auto& limit : limits) {
        if (limit.value == 0.0) continue;
        d.limits.push_back(
            {scale.Y(limit.value), {width / 2 - labelLeft, Truncate(scale.Row(limit.value) - labelUp)}, limit.text});
    }

    const double newest = history.Newest(0);
    const int x0 = width - Truncate(step * 0.5);
    d.square = {x0 - half, Truncate(scale.Row(newest) - half), x0 + half, Truncate(scale.Row(newest) + half)};
    d.start = {x0, scale.Y(newest)};
    for (int k = 1; k < history.capacity(); ++k) {
        const double sample = history.Newest(k);
        if (!(sample > 0.0)) break;
        d.line.push_back({Truncate(width - (k + 0.5) * step), scale.Y(sample)});
    }
    return d;
}

}  // namespace chart
