#include "ui/dialog.h"

#include "ui/subclass.h"

namespace ui {

Dialog::~Dialog() { DestroyWindow(); }

INT_PTR Dialog::DoModal(HWND owner) {
    modal_ = true;
    const INT_PTR result = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId_), owner,
                                           &Dialog::StaticProc, reinterpret_cast<LPARAM>(this));
    modal_ = false;
    return result;
}

bool Dialog::Create(HWND parent) {
    modal_ = false;
    return CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId_), parent,
                              &Dialog::StaticProc, reinterpret_cast<LPARAM>(this)) != nullptr;
}

void Dialog::DestroyWindow() {
    if (hwnd_ && !modal_) ::DestroyWindow(hwnd_);
}

void Dialog::EndDialog(INT_PTR result) {
    if (!hwnd_) return;
    if (modal_) {
        ::EndDialog(hwnd_, result);
    } else {
        ::DestroyWindow(hwnd_);
    }
}

bool Dialog::OnCommand(WORD id, WORD code, HWND) {
    if (code != BN_CLICKED || !modal_) return false;
    if (id == IDOK || id == IDCANCEL) {
        EndDialog(id);
        return true;
    }
    return false;
}

bool HandleDialogMessage(MSG* msg) {
    if (!msg->hwnd) return false;  // a thread message
    HWND root = GetAncestor(msg->hwnd, GA_ROOT);
    // The dialog class atom (WC_DIALOG): any dialog, ours or the system's.
    constexpr ULONG_PTR kDialogAtom = 0x8002;
    if (!root || GetClassLongPtrW(root, GCW_ATOM) != kDialogAtom) return false;
    return IsDialogMessageW(root, msg) != FALSE;
}

bool Dialog::OnNotify(NMHDR*, LRESULT*) { return false; }

bool Dialog::OnMessage(UINT, WPARAM, LPARAM, INT_PTR*) { return false; }

INT_PTR CALLBACK Dialog::StaticProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Dialog* self = nullptr;
    if (msg == WM_INITDIALOG) {
        self = reinterpret_cast<Dialog*>(lp);
        self->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
    } else {
        self = reinterpret_cast<Dialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    }
    // Messages before WM_INITDIALOG (WM_SETFONT) and after WM_NCDESTROY have
    // no object.
    if (!self) return FALSE;
    const INT_PTR result = self->Proc(msg, wp, lp);
    if (msg == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, DWLP_USER, 0);
        self->hwnd_ = nullptr;
        self->OnDestroyed();
    }
    return result;
}

// Owner drawing and colours are asked of the parent; a subclassed control
// answers them itself.
static bool Reflect(UINT msg, WPARAM wp, LPARAM lp, INT_PTR* answer) {
    HWND control = nullptr;
    switch (msg) {
    case WM_DRAWITEM: control = reinterpret_cast<DRAWITEMSTRUCT*>(lp)->hwndItem; break;
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX: control = reinterpret_cast<HWND>(lp); break;
    default: return false;
    }
    SubclassedWindow* target = SubclassedWindow::FromHandle(control);
    LRESULT result = 0;
    if (!target || !target->OnReflected(msg, wp, lp, &result)) return false;
    *answer = msg == WM_DRAWITEM ? TRUE : static_cast<INT_PTR>(result);
    return true;
}

INT_PTR Dialog::Proc(UINT msg, WPARAM wp, LPARAM lp) {
    if (INT_PTR answer = 0; Reflect(msg, wp, lp, &answer)) return answer;
    switch (msg) {
    case WM_INITDIALOG:
        BindControls();
        return OnInitDialog() ? TRUE : FALSE;
    case WM_COMMAND:
        return OnCommand(LOWORD(wp), HIWORD(wp), reinterpret_cast<HWND>(lp)) ? TRUE : FALSE;
    case WM_NOTIFY: {
        LRESULT result = 0;
        if (!OnNotify(reinterpret_cast<NMHDR*>(lp), &result)) return FALSE;
        SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, result);
        return TRUE;
    }
    default: {
        INT_PTR result = FALSE;
        return OnMessage(msg, wp, lp, &result) ? result : FALSE;
    }
    }
}

}  // namespace ui
