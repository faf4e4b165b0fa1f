// Controls that take over a dialog control's window procedure. Built on
// SetWindowSubclass, which chains safely with other subclassers where
// swapping GWLP_WNDPROC does not. The dialog base hands such a control the
// messages its parent receives on its behalf (owner drawing, colours).
#pragma once

#include "ui/window.h"

namespace ui {

class SubclassedWindow : public Window {
public:
    SubclassedWindow() = default;
    virtual ~SubclassedWindow();
    SubclassedWindow(const SubclassedWindow&) = delete;
    SubclassedWindow& operator=(const SubclassedWindow&) = delete;

    // Takes over hwnd (a dialog control) and calls OnSubclassed.
    bool Subclass(HWND hwnd);
    void Unsubclass();

    // The control object behind hwnd, when hwnd was subclassed by one.
    static SubclassedWindow* FromHandle(HWND hwnd);

    // A message the parent received for this control: WM_DRAWITEM and the
    // WM_CTLCOLOR family. Returns true with *result when handled.
    virtual bool OnReflected(UINT /*msg*/, WPARAM /*wp*/, LPARAM /*lp*/, LRESULT* /*result*/) { return false; }

protected:
    virtual void OnSubclassed() {}
    // The control's own messages; false passes the message on.
    virtual bool OnMessage(UINT /*msg*/, WPARAM /*wp*/, LPARAM /*lp*/, LRESULT* /*result*/) { return false; }
    // The control's original handling.
    LRESULT Default(UINT msg, WPARAM wp, LPARAM lp) { return DefSubclassProc(hwnd_, msg, wp, lp); }

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id, DWORD_PTR ref);
    // Set until the control's window goes away.
    bool subclassed_ = false;
};

}  // namespace ui
