// The dots per inch of a window's screen, and pixel sizes scaled to it.
#pragma once

#include <windows.h>

#include "ui/dpi.h"

namespace ui {

// The window's dpi where the system tracks it per monitor (Windows 10 1607
// and later), else the screen's; 96 when neither can be read.
int DpiOf(HWND hwnd);
// px laid out at 96 dpi, on the window's screen.
inline int DpiScale(HWND hwnd, int px) { return ScaleForDpi(px, DpiOf(hwnd)); }
// The small-icon size (tray, title bar) at the window's dpi.
int SmallIconSize(HWND hwnd);
// The icon resource at the notification area's size for the window's dpi,
// picked from the resource's images rather than stretched when the system
// can do that. Owned by the caller (DestroyIcon).
HICON LoadSmallIcon(HINSTANCE module, int id, HWND hwnd);

}  // namespace ui
