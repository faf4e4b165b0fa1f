#include "monitor/quiet_manner.h"

#include <windows.h>
#include <shellapi.h>

#include "monitor/osd_logic.h"

namespace monitor {

namespace {

constexpr bool Same(QUERY_USER_NOTIFICATION_STATE shell, ShellUserState ours) {
    return static_cast<int>(shell) == static_cast<int>(ours);
}
static_assert(Same(QUNS_BUSY, kUserBusy) && Same(QUNS_RUNNING_D3D_FULL_SCREEN, kUserRunningD3DFullScreen) &&
                  Same(QUNS_PRESENTATION_MODE, kUserPresentationMode) && Same(QUNS_QUIET_TIME, kUserQuietTime) &&
                  Same(QUNS_ACCEPTS_NOTIFICATIONS, kUserAcceptsNotifications),
              "the shell's answers as the decision knows them");

using QueryStateFn = HRESULT(WINAPI*)(QUERY_USER_NOTIFICATION_STATE*);

// Older systems (and older Wine) lack the call: looked up, not linked.
QueryStateFn QueryStateProc() {
    static const auto fn = [] {
        HMODULE shell = LoadLibraryW(L"shell32.dll");
        return shell ? reinterpret_cast<QueryStateFn>(
                           reinterpret_cast<void*>(GetProcAddress(shell, "SHQueryUserNotificationState")))
                     : nullptr;
    }();
    return fn;
}

// A window without a caption that covers its whole monitor: a game, a video
// player, a slide show. The desktop itself covers the screen too and is not
// one of them, nor is a window of this program.
bool ForegroundIsFullScreen() {
    HWND fg = GetForegroundWindow();
    if (!fg || fg == GetDesktopWindow() || fg == GetShellWindow()) return false;
    DWORD pid = 0;
    GetWindowThreadProcessId(fg, &pid);
    if (pid == GetCurrentProcessId()) return false;
    wchar_t cls[32] = {};
    GetClassNameW(fg, cls, 32);
    if (lstrcmpW(cls, L"Progman") == 0 || lstrcmpW(cls, L"WorkerW") == 0) return false;
    if ((GetWindowLongPtrW(fg, GWL_STYLE) & WS_CAPTION) == WS_CAPTION) return false;
    RECT window;
    MONITORINFO mi{};
    mi.cbSize = sizeof(mi);
    if (!GetWindowRect(fg, &window) || !GetMonitorInfoW(MonitorFromWindow(fg, MONITOR_DEFAULTTONEAREST), &mi))
        return false;
    return window.left <= mi.rcMonitor.left && window.top <= mi.rcMonitor.top &&
           window.right >= mi.rcMonitor.right && window.bottom >= mi.rcMonitor.bottom;
}

}  // namespace

bool UserMustNotBeDisturbed(bool settingOn) {
    if (!settingOn) return false;
    QUERY_USER_NOTIFICATION_STATE state = QUNS_ACCEPTS_NOTIFICATIONS;
    QueryStateFn query = QueryStateProc();
    const bool answered = query && SUCCEEDED(query(&state));
    return StayQuiet(settingOn, answered, static_cast<int>(state), ForegroundIsFullScreen());
}

}  // namespace monitor
