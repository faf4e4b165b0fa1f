#include "tests/driver/combo_box.h"

#include <cstdlib>

#include "tests/driver/user_input.h"
#include "tests/driver/window_query.h"

namespace driver {

int ComboCount(HWND combo) { return static_cast<int>(SendWithTimeout(combo, CB_GETCOUNT, 0, 0, CB_ERR)); }

int ComboSelection(HWND combo) { return static_cast<int>(SendWithTimeout(combo, CB_GETCURSEL, 0, 0, CB_ERR)); }

std::wstring ComboItemText(HWND combo, int index) {
    const LRESULT length = SendWithTimeout(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0, CB_ERR);
    if (length == CB_ERR || length < 0) return {};
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const LRESULT copied =
        SendWithTimeout(combo, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()), CB_ERR);
    if (copied == CB_ERR || copied < 0) return {};
    text.resize(static_cast<size_t>(copied) < text.size() ? static_cast<size_t>(copied) : text.size() - 1);
    return text;
}

std::vector<std::wstring> ComboItems(HWND combo) {
    std::vector<std::wstring> items;
    const int count = ComboCount(combo);
    for (int i = 0; i < count; ++i) items.push_back(ComboItemText(combo, i));
    return items;
}

std::wstring ComboSelectedText(HWND combo) {
    const int sel = ComboSelection(combo);
    return sel < 0 ? std::wstring() : ComboItemText(combo, sel);
}

bool SelectComboIndex(HWND combo, int index, milliseconds timeout) {
    const int count = ComboCount(combo);
    if (index < 0 || index >= count) return false;
    int current = ComboSelection(combo);
    if (current == index) return true;
    if (current < 0 || index == 0) {
        if (!PostKey(combo, VK_HOME)) return false;
        if (!WaitUntil([&] { return ComboSelection(combo) == 0; }, timeout)) return false;
        current = 0;
    }
    const UINT vk = index > current ? VK_DOWN : VK_UP;
    for (int step = std::abs(index - current); step > 0; --step)
        if (!PostKey(combo, vk)) return false;
    return WaitUntil([&] { return ComboSelection(combo) == index; }, timeout);
}

bool SelectComboText(HWND combo, const std::wstring& text, milliseconds timeout) {
    const std::vector<std::wstring> items = ComboItems(combo);
    for (size_t i = 0; i < items.size(); ++i)
        if (items[i] == text) return SelectComboIndex(combo, static_cast<int>(i), timeout);
    return false;
}

}  // namespace driver
