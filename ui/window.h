// Thin typed views of window handles. They own nothing: the dialog that holds
// the controls destroys them.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>

namespace ui {

class Window {
public:
    Window() = default;
    explicit Window(HWND hwnd) : hwnd_(hwnd) {}

    void Attach(HWND hwnd) { hwnd_ = hwnd; }
    HWND hwnd() const { return hwnd_; }
    explicit operator bool() const { return hwnd_ != nullptr; }

    std::string Text() const;
    void SetText(const std::string& utf8);
    void Enable(bool enable) { EnableWindow(hwnd_, enable ? TRUE : FALSE); }
    bool IsEnabled() const { return IsWindowEnabled(hwnd_) != FALSE; }
    void Show(int cmd) { ShowWindow(hwnd_, cmd); }
    bool IsVisible() const { return IsWindowVisible(hwnd_) != FALSE; }
    LRESULT Send(UINT msg, WPARAM wp = 0, LPARAM lp = 0) const { return SendMessageW(hwnd_, msg, wp, lp); }

protected:
    HWND hwnd_ = nullptr;
};

class Button : public Window {};
class Edit : public Window {};

class ComboBox : public Window {
public:
    int AddString(const std::string& utf8);
    int GetCount() const { return static_cast<int>(Send(CB_GETCOUNT)); }
    int GetCurSel() const { return static_cast<int>(Send(CB_GETCURSEL)); }
    // An index outside the list clears the selection (CB_SETCURSEL answers CB_ERR).
    int SetCurSel(int index) { return static_cast<int>(Send(CB_SETCURSEL, static_cast<WPARAM>(index))); }
    std::string GetLBText(int index) const;
    void ResetContent() { Send(CB_RESETCONTENT); }
};

class TabCtrl : public Window {
public:
    int InsertItem(int index, const std::string& utf8);
    int GetCurSel() const { return static_cast<int>(Send(TCM_GETCURSEL)); }
    int SetCurSel(int index) { return static_cast<int>(Send(TCM_SETCURSEL, static_cast<WPARAM>(index))); }
    int GetItemCount() const { return static_cast<int>(Send(TCM_GETITEMCOUNT)); }
};

}  // namespace ui
