#include "tests/driver/common_controls.h"

#include <commctrl.h>

#include "tests/driver/window_query.h"

namespace driver {

bool SetControlText(HWND control, const std::wstring& text) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_ABORTIFHUNG,
                               static_cast<UINT>(kReactTimeout.count()), &result) != 0 &&
           result == TRUE;
}

std::optional<std::pair<int, int>> ProgressRange(HWND bar) {
    // The high and low limits come back as results, with no structure to fill.
    constexpr LRESULT kNoAnswer = LONG_MIN;
    const LRESULT low = SendWithTimeout(bar, PBM_GETRANGE, TRUE, 0, kNoAnswer);
    const LRESULT high = SendWithTimeout(bar, PBM_GETRANGE, FALSE, 0, kNoAnswer);
    if (low == kNoAnswer || high == kNoAnswer) return std::nullopt;
    return std::make_pair(static_cast<int>(low), static_cast<int>(high));
}

std::optional<int> ProgressPosition(HWND bar) {
    constexpr LRESULT kNoAnswer = LONG_MIN;
    const LRESULT pos = SendWithTimeout(bar, PBM_GETPOS, 0, 0, kNoAnswer);
    if (pos == kNoAnswer) return std::nullopt;
    return static_cast<int>(pos);
}

}  // namespace driver
