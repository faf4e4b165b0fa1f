// A static text control that paints its background as a colour gradient and
// its window text on top, on one line, vertically centred. The gradient comes
// from GradientFill in msimg32.dll, loaded at run time; without it the control
// paints 255 bands itself. The owner sets the public members after
// construction; the colours are the system's at construction.
#pragma once

#include "ui/subclass.h"

class CGradientStatic : public ui::SubclassedWindow {
public:
    CGradientStatic();
    ~CGradientStatic() override;

    int m_nMargin = 10;  // between the text and the left (or right) edge
    COLORREF m_crStart;  // left (or top) edge
    COLORREF m_crEnd;    // right (or bottom) edge
    COLORREF m_crText;
    int m_nAlign = 0;  // 0 left, 1 centred, anything else right
    int m_bVertical = 0;  // 0: left to right; otherwise top to bottom
    // GradientFill was found; when false the control paints its own bands.
    bool m_bCanGradientFill = false;

protected:
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) override;

private:
    using GradientFillFn = BOOL(WINAPI*)(HDC, PTRIVERTEX, ULONG, PVOID, ULONG, ULONG);

    void Paint();
    void FillBands(HDC dc, const RECT& rc) const;

    HMODULE m_hMsimg32;
    GradientFillFn m_pfnGradientFill = nullptr;
};
