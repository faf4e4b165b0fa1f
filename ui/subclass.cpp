#include "ui/subclass.h"

namespace ui {
namespace {
// One id for every control of this layer; the object is the reference data.
constexpr UINT_PTR kSubclassId = 0x5A4C;
// Where the parent finds the object: a window property, since not every
// comctl32 import library offers GetWindowSubclass.
constexpr wchar_t kObjectProp[] = L"ui.SubclassedWindow";
}  // namespace

SubclassedWindow::~SubclassedWindow() { Unsubclass(); }

bool SubclassedWindow::Subclass(HWND hwnd) {
    Unsubclass();
    if (!hwnd || !SetWindowSubclass(hwnd, &SubclassedWindow::Proc, kSubclassId, reinterpret_cast<DWORD_PTR>(this)))
        return false;
    hwnd_ = hwnd;
    subclassed_ = true;
    SetPropW(hwnd, kObjectProp, this);
    OnSubclassed();
    return true;
}

void SubclassedWindow::Unsubclass() {
    if (subclassed_ && IsWindow(hwnd_)) {
        RemoveWindowSubclass(hwnd_, &SubclassedWindow::Proc, kSubclassId);
        RemovePropW(hwnd_, kObjectProp);
    }
    subclassed_ = false;
}

SubclassedWindow* SubclassedWindow::FromHandle(HWND hwnd) {
    return hwnd ? static_cast<SubclassedWindow*>(GetPropW(hwnd, kObjectProp)) : nullptr;
}

LRESULT CALLBACK SubclassedWindow::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR ref) {
    auto* self = reinterpret_cast<SubclassedWindow*>(ref);
    if (msg == WM_NCDESTROY) {
        // The window is going: let go of it before the object forgets it.
        RemoveWindowSubclass(hwnd, &SubclassedWindow::Proc, kSubclassId);
        RemovePropW(hwnd, kObjectProp);
        self->subclassed_ = false;
        return DefSubclassProc(hwnd, msg, wp, lp);
    }
    LRESULT result = 0;
    if (self->OnMessage(msg, wp, lp, &result)) return result;
    return DefSubclassProc(hwnd, msg, wp, lp);
}

}  // namespace ui
