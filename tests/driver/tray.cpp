#include "tests/driver/tray.h"

#include "tests/driver/window_query.h"

namespace driver {

namespace {
constexpr UINT kSendTimeoutMs = 3000;
constexpr wchar_t kMenuClass[] = L"#32768";
}  // namespace

bool SendTrayMouse(HWND owner, UINT callbackMessage, UINT iconId, UINT mouseMessage) {
    DWORD_PTR answer = 0;
    return SendMessageTimeoutW(owner, callbackMessage, iconId, mouseMessage, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                               &answer) != 0;
}

bool PostTrayMouse(HWND owner, UINT callbackMessage, UINT iconId, UINT mouseMessage) {
    return PostMessageW(owner, callbackMessage, iconId, mouseMessage) != FALSE;
}

HWND FindPopupMenu(DWORD pid) { return FindTopLevel(pid, kMenuClass, nullptr, true); }

HWND WaitForPopupMenu(DWORD pid, milliseconds timeout) { return WaitForTopLevel(pid, kMenuClass, nullptr, timeout); }

bool ChooseMenuMnemonic(HWND menuWindow, wchar_t mnemonic) {
    // The menu's own loop reads every keyboard message of the thread.
    return menuWindow && PostMessageW(menuWindow, WM_CHAR, mnemonic, 1) != FALSE;
}

}  // namespace driver
