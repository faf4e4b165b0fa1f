// The dialog base that stands in for a GUI class library: one object per
// dialog window, found again from the window through DWLP_USER, with virtual
// initialisation and per-class handler tables.
//
// A derived class routes its messages through static tables of member
// functions, declared inside the override so they have the class's access:
//
//   bool CFoo::OnCommand(WORD id, WORD code, HWND ctl) {
//       static const ui::CommandEntry<CFoo> kCommands[] = {
//           {IDOK, BN_CLICKED, &CFoo::OnGet},
//       };
//       return ui::Route(this, kCommands, id, code) || Dialog::OnCommand(id, code, ctl);
//   }
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstddef>

namespace ui {

class Dialog {
public:
    explicit Dialog(int templateId) : templateId_(templateId) {}
    virtual ~Dialog();
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Runs the dialog modally; returns the result given to EndDialog, or -1
    // when the window could not be created.
    INT_PTR DoModal(HWND owner);
    // Creates the dialog modelessly (the tab pages).
    bool Create(HWND parent);
    void DestroyWindow();

    void EndDialog(INT_PTR result);
    HWND hwnd() const { return hwnd_; }
    HWND Item(int id) const { return GetDlgItem(hwnd_, id); }
    LRESULT Send(UINT msg, WPARAM wp = 0, LPARAM lp = 0) const { return SendMessageW(hwnd_, msg, wp, lp); }
    int templateId() const { return templateId_; }
    bool IsModal() const { return modal_; }

protected:
    // WM_INITDIALOG; returns true to let the system set the focus.
    virtual bool OnInitDialog() { return true; }
    // Binds the members that stand for controls; called before OnInitDialog.
    virtual void BindControls() {}
    // WM_COMMAND. The default ends a modal dialog on IDOK and IDCANCEL.
    virtual bool OnCommand(WORD id, WORD code, HWND control);
    // WM_NOTIFY. *result goes back to the sender.
    virtual bool OnNotify(NMHDR* header, LRESULT* result);
    // Every other message. Returns true when handled; *result is what the
    // dialog procedure answers (TRUE/FALSE, or a value such as an icon handle).
    virtual bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, INT_PTR* result);
    // The window is gone; the object may still live.
    virtual void OnDestroyed() {}

private:
    static INT_PTR CALLBACK StaticProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    INT_PTR Proc(UINT msg, WPARAM wp, LPARAM lp);

    int templateId_;
    HWND hwnd_ = nullptr;
    bool modal_ = false;
};

// For a message loop that serves modeless dialogs: hands msg to the keyboard
// handling (IsDialogMessage) of the top-level dialog its window belongs to,
// child dialogs marked as control parents included. True when that handled
// it; the loop then neither translates nor dispatches it.
bool HandleDialogMessage(MSG* msg);

template <class T>
struct CommandEntry {
    WORD id;
    WORD code;  // BN_CLICKED (0) also covers menu commands
    void (T::*handler)();
};

template <class T>
struct NotifyEntry {
    UINT_PTR idFrom;
    UINT code;
    LRESULT (T::*handler)(NMHDR*);
};

template <class T>
struct MessageEntry {
    UINT msg;
    // Returns what the dialog procedure answers for this message.
    INT_PTR (T::*handler)(WPARAM, LPARAM);
};

template <class T, size_t N>
bool Route(T* self, const CommandEntry<T> (&table)[N], WORD id, WORD code) {
    for (const auto& e : table) {
        if (e.id == id && e.code == code) {
            (self->*e.handler)();
            return true;
        }
    }
    return false;
}

template <class T, size_t N>
bool Route(T* self, const NotifyEntry<T> (&table)[N], NMHDR* header, LRESULT* result) {
    for (const auto& e : table) {
        if (e.idFrom == header->idFrom && e.code == header->code) {
            *result = (self->*e.handler)(header);
            return true;
        }
    }
    return false;
}

template <class T, size_t N>
bool Route(T* self, const MessageEntry<T> (&table)[N], UINT msg, WPARAM wp, LPARAM lp, INT_PTR* result) {
    for (const auto& e : table) {
        if (e.msg == msg) {
            *result = (self->*e.handler)(wp, lp);
            return true;
        }
    }
    return false;
}

}  // namespace ui
