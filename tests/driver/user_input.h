// Acting on another process's windows the way a user does: the input is
// posted into the program's own queue, so its message loop, the dialog
// manager's keyboard handling and the controls' own logic all take part,
// and the driver never blocks on a handler that opens a modal window.
#pragma once

#include <windows.h>

#include <vector>

namespace driver {

// A click on a push button (BM_CLICK, which presses and releases it and
// makes it send BN_CLICKED to its parent).
bool ClickButton(HWND button);

// A left click at (x, y) in the window's client coordinates.
bool ClickAt(HWND window, int x, int y);

// Key down and up for a virtual key, posted to one window.
bool PostKey(HWND target, UINT vk);

// The window that has the keyboard focus in the thread that owns hwnd, or
// null when the thread has none.
HWND FocusOf(HWND hwnd);

// A key pressed while the dialog is active: it goes to the focused control
// when the focus is inside the dialog, else to the dialog itself, which is
// where the dialog manager looks for Enter and Esc.
bool PressKeyInDialog(HWND dialog, UINT vk);

// A key pressed with modifiers held (VK_CONTROL, VK_SHIFT) as real input:
// it goes to the foreground window, and the program's key state sees the
// modifiers, which posted keys do not set. False when not all was taken.
bool SendChord(const std::vector<WORD>& modifiers, WORD vk);

// The close box of the caption bar (SC_CLOSE through the system menu path).
bool ClickCloseBox(HWND window);

}  // namespace driver
