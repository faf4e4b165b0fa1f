// Scaling of pixel sizes to a screen's dots per inch. Dialog templates scale
// by themselves; every size the program draws or sets in pixels goes
// through here, laid out for 96 dpi.
#pragma once

namespace ui {

constexpr int kBaseDpi = 96;

// px at 96 dpi as pixels at dpi, rounded to the nearest (halves away from
// zero, as MulDiv does). A dpi of 0 or less (not known) leaves px as it is.
constexpr int ScaleForDpi(int px, int dpi) {
    if (dpi <= 0) return px;
    const long long n = static_cast<long long>(px) * dpi;
    return static_cast<int>(n >= 0 ? (n + kBaseDpi / 2) / kBaseDpi : -((-n + kBaseDpi / 2) / kBaseDpi));
}

}  // namespace ui
