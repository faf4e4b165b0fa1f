// Edit fields and progress bars of another process: their messages carry
// no pointers the system cannot marshal, so they are sent straight.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <utility>

namespace driver {

// WM_SETTEXT, as a program would fill the field; true when it was taken.
bool SetControlText(HWND control, const std::wstring& text);

// The progress bar's range (low, high) and position.
std::optional<std::pair<int, int>> ProgressRange(HWND bar);
std::optional<int> ProgressPosition(HWND bar);

}  // namespace driver
