// Tooltip controls of another process, asked for the text they would show.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace driver {

// The process's tooltip controls (top-level windows of their class).
std::vector<HWND> ToolTipControls(DWORD pid);

// The text the tooltip control shows for a tool that is a window (owner is
// the window that registered it). A text asked for by notification is asked
// for now, from the owner; nothing when the control has no such tool or
// does not answer.
std::optional<std::wstring> ToolTipText(HWND toolTip, HWND owner, HWND tool);

}  // namespace driver
