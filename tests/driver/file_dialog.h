// Typing into another process's controls, and the common file-open dialog
// worked from outside: its file-name field is filled in and OK pressed.
#pragma once

#include <windows.h>

#include <string>

#include "tests/driver/wait.h"

namespace driver {

// Replaces the control's text (WM_SETTEXT, carried across processes).
bool SetControlText(HWND control, const std::wstring& text);

// Waits for the process's file dialog with this caption, types path into its
// file-name field and presses OK; true once the dialog has gone.
bool ChooseFileInDialog(DWORD pid, const wchar_t* caption, const std::wstring& path,
                        milliseconds timeout = kWindowTimeout);

}  // namespace driver
