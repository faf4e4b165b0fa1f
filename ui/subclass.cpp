#include "ui/subclass.h"

namespace ui {
namespace {
// One id for every control of this layer; the object is the reference data.
constexpr UINT_PTR kSubclassId = 0x5A4C;
}  // namespace

SubclassedWindow::~SubclassedWindow() { Unsubclass(); }

bool SubclassedWindow::Subclass(HWND hwnd) {
    Unsubclass();
    if (!hwnd || !SetWindowSubclass(hwnd, &SubclassedWindow::Proc, kSubclassId, reinterpret_cast<DWORD_PTR>(this)))
        return false;
    hwnd_ = hwnd;
    subclassed_ = true;
    OnSubclassed();
    return true;
}

void SubclassedWindow::Unsubclass() {
    if (subclassed_ && IsWindow(hwnd_)) RemoveWindowSubclass(hwnd_, &SubclassedWindow::Proc, kSubclassId);
    subclassed_ = false;
}

SubclassedWindow* SubclassedWindow::FromHandle(HWND hwnd) {
    DWORD_PTR ref = 0;
    if (!hwnd || !GetWindowSubclass(hwnd, &SubclassedWindow::Proc, kSubclassId, &ref)) return nullptr;
    return reinterpret_cast<SubclassedWindow*>(ref);
}

LRESULT CALLBACK SubclassedWindow::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR ref) {
    auto* self = reinterpret_cast<SubclassedWindow*>(ref);
    if (msg == WM_NCDESTROY) {
        // The window is going: let go of it before the object forgets it.
        RemoveWindowSubclass(hwnd, &SubclassedWindow::Proc, kSubclassId);
        self->subclassed_ = false;
        return DefSubclassProc(hwnd, msg, wp, lp);
    }
    LRESULT result = 0;
    if (self->OnMessage(msg, wp, lp, &result)) return result;
    return DefSubclassProc(hwnd, msg, wp, lp);
}

}  // namespace ui
