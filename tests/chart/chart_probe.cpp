// A stand-in owner for the chart panel, so that the driver can look at the
// panel's drawing of a history that would take the real program up to 100
// poll periods to gather. It links the program's own panel, history and
// alarm record, fills the history with a known run and opens the panel the
// way the main dialog's chart button does.
//
//   chart_probe <samples> <high limit> <low limit>
//
// The samples rise evenly from 100 (oldest) to 110 (newest); one sample is
// 100. The owner window is captioned "Chart probe"; closing it ends the
// program.
#include <windows.h>
#include <shellapi.h>

#include <cwchar>
#include <memory>

#include "alarm/alarm_state.h"
#include "monitor/chart_panel.h"
#include "monitor/rate_history.h"

namespace {

constexpr wchar_t kOwnerClass[] = L"ZelvaneChartProbe";
CSlide* g_panel = nullptr;

LRESULT CALLBACK OwnerProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_MOVE:
        if (g_panel) g_panel->FollowParent();
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default: return DefWindowProcW(hwnd, msg, wp, lp);
    }
}

void FillHistory(int samples) {
    RateHistory.Reset();
    for (int i = 0; i < samples; ++i) RateHistory.Push(samples == 1 ? 100.0 : 100.0 + 10.0 * i / (samples - 1));
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc != 4) return 2;
    FillHistory(_wtoi(argv[1]));
    AlarmState.dLimitHigh = std::wcstod(argv[2], nullptr);
    AlarmState.dLimitLow = std::wcstod(argv[3], nullptr);
    LocalFree(argv);

    WNDCLASSW wc = {};
    wc.lpfnWndProc = OwnerProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kOwnerClass;
    if (!RegisterClassW(&wc)) return 3;
    HWND owner = CreateWindowExW(0, kOwnerClass, L"Chart probe", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, 60, 60,
                                 300, 420, nullptr, nullptr, instance, nullptr);
    if (!owner) return 3;
    ShowWindow(owner, SW_SHOW);
    UpdateWindow(owner);

    std::unique_ptr<CSlide> panel = OpenChartPanel(owner);
    if (!panel) return 4;
    g_panel = panel.get();
    InvalidateRect(panel->hwnd(), nullptr, TRUE);

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    g_panel = nullptr;
    return 0;
}
