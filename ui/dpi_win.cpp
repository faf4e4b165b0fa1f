#include "ui/dpi_win.h"

#include <commctrl.h>

namespace ui {

namespace {

// Both calls are younger than the oldest systems the program runs on: look
// them up once instead of linking them.
using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using LoadIconMetricFn = HRESULT(WINAPI*)(HINSTANCE, PCWSTR, int, HICON*);

GetDpiForWindowFn GetDpiForWindowProc() {
    static const auto fn = reinterpret_cast<GetDpiForWindowFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    return fn;
}

LoadIconMetricFn LoadIconMetricProc() {
    // Common controls 6 are loaded already (the manifest asks for them).
    static const auto fn = reinterpret_cast<LoadIconMetricFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"comctl32.dll"), "LoadIconMetric")));
    return fn;
}

}  // namespace

int DpiOf(HWND hwnd) {
    if (hwnd) {
        if (GetDpiForWindowFn fn = GetDpiForWindowProc()) {
            const UINT dpi = fn(hwnd);
            if (dpi) return static_cast<int>(dpi);
        }
    }
    int dpi = 0;
    if (HDC screen = GetDC(nullptr)) {
        dpi = GetDeviceCaps(screen, LOGPIXELSY);
        ReleaseDC(nullptr, screen);
    }
    return dpi > 0 ? dpi : kBaseDpi;
}

int SmallIconSize(HWND hwnd) { return DpiScale(hwnd, 16); }

HICON LoadSmallIcon(HINSTANCE module, int id, HWND hwnd) {
    HICON icon = nullptr;
    // LoadIconMetric knows the notification area's own metric on every dpi.
    if (LoadIconMetricFn fn = LoadIconMetricProc())
        if (SUCCEEDED(fn(module, MAKEINTRESOURCEW(id), LIM_SMALL, &icon)) && icon) return icon;
    const int size = SmallIconSize(hwnd);
    return static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
}

}  // namespace ui
