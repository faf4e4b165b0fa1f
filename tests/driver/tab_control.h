// Reading and clicking a tab control in another process.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "tests/driver/wait.h"

namespace driver {

int TabCount(HWND tab);
// -1 when no tab is selected.
int TabSelection(HWND tab);
// The item's rectangle in the tab control's client coordinates.
std::optional<RECT> TabItemRect(HWND tab, int index);
// The item's text; nothing when the control does not answer.
std::optional<std::wstring> TabItemText(HWND tab, int index);

// Clicks the middle of the item, so the tab control itself selects it and
// sends TCN_SELCHANGING and TCN_SELCHANGE to its parent (a WM_NOTIFY sent
// from outside would not reach the parent intact). True once the control
// reports the item selected.
bool ClickTab(HWND tab, int index, milliseconds timeout = kReactTimeout);

}  // namespace driver
