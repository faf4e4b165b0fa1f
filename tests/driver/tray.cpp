#include "tests/driver/tray.h"

#include <commctrl.h>

#include <cstring>
#include <cwchar>

#include "tests/driver/remote_memory.h"
#include "tests/driver/window_query.h"

namespace driver {

namespace {
constexpr UINT kSendTimeoutMs = 3000;
constexpr wchar_t kMenuClass[] = L"#32768";

BOOL CALLBACK CollectToolTip(HWND hwnd, LPARAM out) {
    if (ClassName(hwnd) == TOOLTIPS_CLASSW) reinterpret_cast<std::vector<HWND>*>(out)->push_back(hwnd);
    return TRUE;
}

// Each tool's text, asked with TTM_ENUMTOOLSW into a block in the owner.
void AppendToolTexts(HWND toolTip, std::vector<std::wstring>* texts) {
    constexpr size_t kChars = 1024;
    constexpr size_t kSize = sizeof(TTTOOLINFOW) + kChars * sizeof(wchar_t);
    const LRESULT count = SendWithTimeout(toolTip, TTM_GETTOOLCOUNT, 0, 0, 0);
    RemoteMemory block(toolTip, kSize);
    if (count <= 0 || !block.ok()) return;
    for (LRESULT i = 0; i < count; ++i) {
        // The record and an empty text, so a tool whose text is not copied
        // does not read as the one before it.
        std::vector<unsigned char> start(sizeof(TTTOOLINFOW) + sizeof(wchar_t), 0);
        TTTOOLINFOW info = {};
        info.cbSize = sizeof(info);
        info.lpszText = reinterpret_cast<wchar_t*>(block.address() + sizeof(TTTOOLINFOW));
        std::memcpy(start.data(), &info, sizeof(info));
        if (!block.Write(start.data(), start.size()) ||
            !SendWithTimeout(toolTip, TTM_ENUMTOOLSW, static_cast<WPARAM>(i), block.address(), 0))
            continue;
        std::vector<unsigned char> back(kSize);
        if (!block.Read(back.data(), back.size())) continue;
        const auto* text = reinterpret_cast<const wchar_t*>(back.data() + sizeof(TTTOOLINFOW));
        texts->emplace_back(text, wcsnlen(text, kChars));
    }
}

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

std::vector<std::wstring> ToolTipTextsOnDesktop() {
    std::vector<HWND> toolTips;
    EnumWindows(&CollectToolTip, reinterpret_cast<LPARAM>(&toolTips));
    std::vector<std::wstring> texts;
    for (HWND toolTip : toolTips) AppendToolTexts(toolTip, &texts);
    return texts;
}

bool ChooseMenuMnemonic(HWND menuWindow, wchar_t mnemonic) {
    // The menu's own loop reads every keyboard message of the thread.
    return menuWindow && PostMessageW(menuWindow, WM_CHAR, mnemonic, 1) != FALSE;
}

}  // namespace driver
