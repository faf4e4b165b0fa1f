#include "tests/driver/window_query.h"

#include <vector>

namespace driver {

namespace {

// A busy program (a slow first paint under Wine) must not hang the driver.
constexpr UINT kSendTimeoutMs = 5000;

struct EnumState {
    DWORD pid;
    std::vector<HWND>* out;
};

BOOL CALLBACK CollectTopLevel(HWND hwnd, LPARAM lp) {
    auto* state = reinterpret_cast<EnumState*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == state->pid) state->out->push_back(hwnd);
    return TRUE;
}

}  // namespace

std::vector<HWND> TopLevelWindows(DWORD pid) {
    std::vector<HWND> windows;
    EnumState state{pid, &windows};
    EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&state));
    return windows;
}

HWND FindTopLevel(DWORD pid, const wchar_t* className, const wchar_t* caption, bool visibleOnly) {
    for (HWND hwnd : TopLevelWindows(pid)) {
        if (visibleOnly && !IsWindowVisible(hwnd)) continue;
        if (className && ClassName(hwnd) != className) continue;
        if (caption && WindowText(hwnd) != caption) continue;
        return hwnd;
    }
    return nullptr;
}

HWND WaitForTopLevel(DWORD pid, const wchar_t* className, const wchar_t* caption, milliseconds timeout) {
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindTopLevel(pid, className, caption)) != nullptr; }, timeout);
    return found;
}

std::vector<HWND> ChildWindows(HWND parent) {
    std::vector<HWND> children;
    for (HWND child = FindWindowExW(parent, nullptr, nullptr, nullptr); child;
         child = FindWindowExW(parent, child, nullptr, nullptr))
        children.push_back(child);
    return children;
}

std::wstring ClassName(HWND hwnd) {
    wchar_t name[256] = {};
    const int n = GetClassNameW(hwnd, name, 256);
    return std::wstring(name, n > 0 ? static_cast<size_t>(n) : 0);
}

std::wstring WindowText(HWND hwnd) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &length)) return {};
    std::vector<wchar_t> buf(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(hwnd, WM_GETTEXT, buf.size(), reinterpret_cast<LPARAM>(buf.data()), SMTO_ABORTIFHUNG,
                             kSendTimeoutMs, &copied))
        return {};
    return std::wstring(buf.data(), copied < buf.size() ? copied : buf.size() - 1);
}

int ControlId(HWND hwnd) { return GetDlgCtrlID(hwnd); }

LRESULT SendWithTimeout(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT failed) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(hwnd, msg, wp, lp, SMTO_ABORTIFHUNG, kSendTimeoutMs, &result)) return failed;
    return static_cast<LRESULT>(result);
}

}  // namespace driver
