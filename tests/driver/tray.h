// The program's tray icon, worked the way the shell works it: the icon's
// callback message posted to the window that owns the icon, and the popup
// menu it opens read and answered.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "tests/driver/wait.h"

namespace driver {

// What the shell sends when the mouse acts on the icon (WM_RBUTTONUP, ...).
// Sent, so it returns once the program has handled it; false when the
// handler did not return in time (a menu's loop, for instance).
bool SendTrayMouse(HWND owner, UINT callbackMessage, UINT iconId, UINT mouseMessage);
// The same, posted: for the button release that opens the menu.
bool PostTrayMouse(HWND owner, UINT callbackMessage, UINT iconId, UINT mouseMessage);

// The visible popup menu window of the process, if any.
HWND FindPopupMenu(DWORD pid);
HWND WaitForPopupMenu(DWORD pid, milliseconds timeout = kReactTimeout);
// Chooses the item of an open popup menu by its underlined letter, as a
// user typing it would.
bool ChooseMenuMnemonic(HWND menuWindow, wchar_t mnemonic);

// The texts of every tool of every tooltip control on the desktop, whoever
// owns it: the shell keeps each tray icon's tip in one of them.
std::vector<std::wstring> ToolTipTextsOnDesktop();

}  // namespace driver
