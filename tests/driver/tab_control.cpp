#include "tests/driver/tab_control.h"

#include <commctrl.h>

#include "tests/driver/remote_memory.h"
#include "tests/driver/user_input.h"
#include "tests/driver/window_query.h"

namespace driver {

int TabCount(HWND tab) { return static_cast<int>(SendWithTimeout(tab, TCM_GETITEMCOUNT, 0, 0, -1)); }

int TabSelection(HWND tab) { return static_cast<int>(SendWithTimeout(tab, TCM_GETCURSEL, 0, 0, -1)); }

std::optional<RECT> TabItemRect(HWND tab, int index) {
    RemoteMemory block(tab, sizeof(RECT));
    if (!block.ok()) return std::nullopt;
    if (!SendWithTimeout(tab, TCM_GETITEMRECT, static_cast<WPARAM>(index), block.address(), FALSE))
        return std::nullopt;
    RECT rc = {};
    if (!block.Read(&rc, sizeof(rc))) return std::nullopt;
    return rc;
}

std::optional<std::wstring> TabItemText(HWND tab, int index) {
    // The item structure and its text buffer both live in the target.
    constexpr int kChars = 256;
    RemoteMemory block(tab, sizeof(TCITEMW) + kChars * sizeof(wchar_t));
    if (!block.ok()) return std::nullopt;
    TCITEMW item = {};
    item.mask = TCIF_TEXT;
    item.pszText = reinterpret_cast<LPWSTR>(block.address() + static_cast<LPARAM>(sizeof(TCITEMW)));
    item.cchTextMax = kChars;
    if (!block.Write(&item, sizeof(item))) return std::nullopt;
    if (!SendWithTimeout(tab, TCM_GETITEMW, static_cast<WPARAM>(index), block.address(), FALSE)) return std::nullopt;
    struct {
        TCITEMW item;
        wchar_t text[kChars];
    } back = {};
    if (!block.Read(&back, sizeof(back))) return std::nullopt;
    back.text[kChars - 1] = L'\0';
    // The control may point pszText at its own copy instead of filling ours.
    if (back.item.pszText != item.pszText) return std::nullopt;
    return std::wstring(back.text);
}

bool ClickTab(HWND tab, int index, milliseconds timeout) {
    const std::optional<RECT> rc = TabItemRect(tab, index);
    if (!rc) return false;
    if (!ClickAt(tab, (rc->left + rc->right) / 2, (rc->top + rc->bottom) / 2)) return false;
    return WaitUntil([&] { return TabSelection(tab) == index; }, timeout);
}

}  // namespace driver
