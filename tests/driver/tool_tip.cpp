#include "tests/driver/tool_tip.h"

#include <commctrl.h>

#include <cstring>
#include <cwchar>

#include "tests/driver/remote_memory.h"
#include "tests/driver/window_query.h"

namespace driver {

std::vector<HWND> ToolTipControls(DWORD pid) {
    std::vector<HWND> found;
    for (HWND hwnd : TopLevelWindows(pid))
        if (ClassName(hwnd) == TOOLTIPS_CLASSW) found.push_back(hwnd);
    return found;
}

std::optional<std::wstring> ToolTipText(HWND toolTip, HWND owner, HWND tool) {
    // The structure and the text buffer live in the target, one after the other.
    constexpr size_t kChars = 1024;
    RemoteMemory block(toolTip, sizeof(TTTOOLINFOW) + kChars * sizeof(wchar_t));
    if (!block.ok()) return std::nullopt;
    TTTOOLINFOW info = {};
    info.cbSize = sizeof(info);
    info.uFlags = TTF_IDISHWND;
    info.hwnd = owner;
    info.uId = reinterpret_cast<UINT_PTR>(tool);
    info.lpszText = reinterpret_cast<wchar_t*>(block.address() + sizeof(TTTOOLINFOW));
    // A known tool overwrites this marker, even with an empty text.
    const wchar_t marker[] = L"\x1\x2";
    std::vector<unsigned char> start(sizeof(TTTOOLINFOW) + sizeof(marker));
    std::memcpy(start.data(), &info, sizeof(info));
    std::memcpy(start.data() + sizeof(info), marker, sizeof(marker));
    if (!block.Write(start.data(), start.size())) return std::nullopt;
    SendWithTimeout(toolTip, TTM_GETTEXTW, kChars, block.address(), 0);
    std::vector<unsigned char> back(sizeof(TTTOOLINFOW) + kChars * sizeof(wchar_t));
    if (!block.Read(back.data(), back.size())) return std::nullopt;
    const auto* text = reinterpret_cast<const wchar_t*>(back.data() + sizeof(TTTOOLINFOW));
    std::wstring result(text, wcsnlen(text, kChars));
    if (result == marker) return std::nullopt;
    return result;
}

}  // namespace driver
