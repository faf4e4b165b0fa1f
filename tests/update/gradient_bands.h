// What the gradient caption paints without GradientFill: 255 bands along
// the gradient, band i in the colour i/255 of the way from start to end.
#pragma once

#include <windows.h>

#include <cstdlib>
#include <vector>

namespace driver::update_test {

// The colour of each pixel along a gradient of the given length.
inline std::vector<COLORREF> GradientBands(int length, COLORREF start, COLORREF end) {
    std::vector<COLORREF> along(static_cast<size_t>(length), CLR_INVALID);
    const float step = static_cast<float>(length) * (1.0f / 255);
    auto blend = [](int s, int e, int i) { return static_cast<BYTE>(s + (e - s) * i / 255); };
    for (int i = 0; i < 255; ++i) {
        const int from = static_cast<int>(static_cast<float>(i) * step);
        const int to = static_cast<int>(static_cast<float>(i + 1) * step);
        for (int p = from; p < to; ++p)
            along[static_cast<size_t>(p)] = RGB(blend(GetRValue(start), GetRValue(end), i),
                                                blend(GetGValue(start), GetGValue(end), i),
                                                blend(GetBValue(start), GetBValue(end), i));
    }
    return along;
}

// A capture pixel (0x00RRGGBB) as a COLORREF.
inline COLORREF FromCapture(uint32_t p) { return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF); }

inline int ColourDistance(COLORREF a, COLORREF b) {
    return std::abs(GetRValue(a) - GetRValue(b)) + std::abs(GetGValue(a) - GetGValue(b)) +
           std::abs(GetBValue(a) - GetBValue(b));
}

}  // namespace driver::update_test
