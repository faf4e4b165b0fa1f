#include "tests/driver/user_input.h"

namespace driver {

namespace {

LPARAM KeyParam(UINT vk, bool up) {
    const UINT scan = MapVirtualKeyW(vk, MAPVK_VK_TO_VSC);
    LPARAM lp = 1 | (static_cast<LPARAM>(scan & 0xFF) << 16);
    if (up) lp |= (static_cast<LPARAM>(1) << 30) | (static_cast<LPARAM>(1) << 31);
    return lp;
}

}  // namespace

bool ClickButton(HWND button) { return button && PostMessageW(button, BM_CLICK, 0, 0) != FALSE; }

bool ClickAt(HWND window, int x, int y) {
    if (!window) return false;
    const LPARAM pos = MAKELPARAM(x, y);
    return PostMessageW(window, WM_MOUSEMOVE, 0, pos) && PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, pos) &&
           PostMessageW(window, WM_LBUTTONUP, 0, pos);
}

bool PostKey(HWND target, UINT vk) {
    return target && PostMessageW(target, WM_KEYDOWN, vk, KeyParam(vk, false)) &&
           PostMessageW(target, WM_KEYUP, vk, KeyParam(vk, true));
}

HWND FocusOf(HWND hwnd) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof(info);
    const DWORD thread = GetWindowThreadProcessId(hwnd, nullptr);
    if (!thread || !GetGUIThreadInfo(thread, &info)) return nullptr;
    return info.hwndFocus;
}

bool PressKeyInDialog(HWND dialog, UINT vk) {
    HWND focus = FocusOf(dialog);
    const bool inside = focus && (focus == dialog || IsChild(dialog, focus));
    return PostKey(inside ? focus : dialog, vk);
}

bool SendChord(const std::vector<WORD>& modifiers, WORD vk) {
    std::vector<INPUT> inputs;
    auto key = [&](WORD k, bool up) {
        INPUT in = {};
        in.type = INPUT_KEYBOARD;
        in.ki.wVk = k;
        in.ki.wScan = static_cast<WORD>(MapVirtualKeyW(k, MAPVK_VK_TO_VSC));
        in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        inputs.push_back(in);
    };
    for (WORD m : modifiers) key(m, false);
    key(vk, false);
    key(vk, true);
    for (auto m = modifiers.rbegin(); m != modifiers.rend(); ++m) key(*m, true);
    return SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)) == inputs.size();
}

bool ClickCloseBox(HWND window) { return window && PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0) != FALSE; }

}  // namespace driver
