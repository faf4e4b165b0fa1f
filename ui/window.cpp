#include "ui/window.h"

#include "ui/text.h"

namespace ui {

std::string Window::Text() const {
    const int n = GetWindowTextLengthW(hwnd_);
    if (n <= 0) return {};
    std::wstring buf(static_cast<size_t>(n) + 1, L'\0');
    const int got = GetWindowTextW(hwnd_, buf.data(), n + 1);
    buf.resize(static_cast<size_t>(got > 0 ? got : 0));
    return Narrow(buf);
}

void Window::SetText(const std::string& utf8) { SetWindowTextW(hwnd_, Widen(utf8).c_str()); }

int ComboBox::AddString(const std::string& utf8) {
    const std::wstring w = Widen(utf8);
    return static_cast<int>(Send(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(w.c_str())));
}

std::string ComboBox::GetLBText(int index) const {
    const LRESULT n = Send(CB_GETLBTEXTLEN, static_cast<WPARAM>(index));
    if (n == CB_ERR) return {};
    std::wstring buf(static_cast<size_t>(n) + 1, L'\0');
    Send(CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buf.data()));
    buf.resize(static_cast<size_t>(n));
    return Narrow(buf);
}

int TabCtrl::InsertItem(int index, const std::string& utf8) {
    std::wstring w = Widen(utf8);
    TCITEMW item = {};
    item.mask = TCIF_TEXT;
    item.pszText = w.data();
    return static_cast<int>(Send(TCM_INSERTITEMW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item)));
}

}  // namespace ui
