// Finding the windows of a process from outside it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "tests/driver/wait.h"

namespace driver {

// The process's top-level windows, hidden ones included, in z-order.
std::vector<HWND> TopLevelWindows(DWORD pid);

// The first top-level window of the process with this class and, when
// caption is not null, this caption; visible ones only when visibleOnly.
HWND FindTopLevel(DWORD pid, const wchar_t* className, const wchar_t* caption, bool visibleOnly = true);

// FindTopLevel polled until it finds a window or the time-out passes.
HWND WaitForTopLevel(DWORD pid, const wchar_t* className, const wchar_t* caption,
                     milliseconds timeout = kWindowTimeout);

// Direct children of a window, in z-order.
std::vector<HWND> ChildWindows(HWND parent);

std::wstring ClassName(HWND hwnd);
// The window's caption through WM_GETTEXT, which the system carries across
// processes; the empty text when the window does not answer in time.
std::wstring WindowText(HWND hwnd);
int ControlId(HWND hwnd);

// A message to another process's window that gives up when the window does
// not answer in time; failed is the answer then.
LRESULT SendWithTimeout(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT failed);

}  // namespace driver
