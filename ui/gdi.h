// GDI objects that delete themselves, and selections that undo themselves,
// so every early return in a paint handler leaves the device context as it
// found it.
#pragma once

#include <windows.h>

#include "ui/scoped_handle.h"

namespace ui {

// A pen, brush, font, bitmap or region of one's own.
template <class T>
using GdiObject = UniqueHandle<T, DeleteObject>;

// An icon of one's own (CreateIcon, LoadImage without LR_SHARED...), not
// a shared one from LoadIcon.
using OwnedIcon = UniqueHandle<HICON, DestroyIcon>;

class ScopedSelectObject {
public:
    ScopedSelectObject(HDC dc, HGDIOBJ object) : dc_(dc), old_(SelectObject(dc, object)) {}
    ~ScopedSelectObject() {
        if (old_) SelectObject(dc_, old_);
    }
    ScopedSelectObject(const ScopedSelectObject&) = delete;
    ScopedSelectObject& operator=(const ScopedSelectObject&) = delete;

private:
    HDC dc_;
    HGDIOBJ old_;
};

}  // namespace ui
