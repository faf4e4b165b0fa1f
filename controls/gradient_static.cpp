#include "controls/gradient_static.h"

#include <string>

#include "ui/gdi.h"
#include "ui/text.h"

namespace {

constexpr int kBands = 255;

// A channel of the colour i/255 of the way from start to end, truncated.
BYTE Blend(BYTE start, BYTE end, int i) { return static_cast<BYTE>(start + (end - start) * i / kBands); }

COLOR16 Channel16(BYTE value) { return static_cast<COLOR16>(value << 8); }

}  // namespace

CGradientStatic::CGradientStatic()
    : m_crStart(GetSysColor(COLOR_ACTIVECAPTION)),
      m_crEnd(GetSysColor(COLOR_BTNFACE)),
      m_crText(GetSysColor(COLOR_CAPTIONTEXT)),
      // From the system folder only, never a planted copy beside the program.
      m_hMsimg32(LoadLibraryExW(L"msimg32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) {
    if (m_hMsimg32) {
        m_pfnGradientFill = reinterpret_cast<GradientFillFn>(
            reinterpret_cast<void*>(GetProcAddress(m_hMsimg32, "GradientFill")));
        m_bCanGradientFill = m_pfnGradientFill != nullptr;
    }
}

CGradientStatic::~CGradientStatic() {
    if (m_hMsimg32) FreeLibrary(m_hMsimg32);
}

bool CGradientStatic::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
    switch (msg) {
    case WM_PAINT:
        Paint();
        *result = 0;
        return true;
    case WM_SETTEXT:
        // Some static controls paint a new text at once, past WM_PAINT (Wine's
        // does): paint the gradient over it again.
        *result = Default(msg, wp, lp);
        InvalidateRect(hwnd_, nullptr, FALSE);
        return true;
    default: return false;
    }
}

void CGradientStatic::FillBands(HDC dc, const RECT& rc) const {
    const int length = m_bVertical ? rc.bottom - rc.top : rc.right - rc.left;
    const float step = static_cast<float>(length) * (1.0f / kBands);
    for (int i = 0; i < kBands; ++i) {
        const int from = static_cast<int>(static_cast<float>(i) * step);
        const int to = static_cast<int>(static_cast<float>(i + 1) * step);
        RECT band = rc;
        if (m_bVertical) {
            band.top = rc.top + from;
            band.bottom = rc.top + to;
        } else {
            band.left = rc.left + from;
            band.right = rc.left + to;
        }
        const COLORREF colour = RGB(Blend(GetRValue(m_crStart), GetRValue(m_crEnd), i),
                                    Blend(GetGValue(m_crStart), GetGValue(m_crEnd), i),
                                    Blend(GetBValue(m_crStart), GetBValue(m_crEnd), i));
        ui::GdiObject<HBRUSH> brush(CreateSolidBrush(colour));
        FillRect(dc, &band, brush.get());
    }
}

void CGradientStatic::Paint() {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd_, &ps);
    RECT rc;
    GetClientRect(hwnd_, &rc);

    if (m_bCanGradientFill) {
        TRIVERTEX vertices[2] = {
            {rc.left, rc.top, Channel16(GetRValue(m_crStart)), Channel16(GetGValue(m_crStart)),
             Channel16(GetBValue(m_crStart)), 0},
            {rc.right, rc.bottom, Channel16(GetRValue(m_crEnd)), Channel16(GetGValue(m_crEnd)),
             Channel16(GetBValue(m_crEnd)), 0},
        };
        GRADIENT_RECT joined = {0, 1};
        m_pfnGradientFill(dc, vertices, 2, &joined, 1, m_bVertical ? GRADIENT_FILL_RECT_V : GRADIENT_FILL_RECT_H);
    } else {
        FillBands(dc, rc);
    }

    {
        SetTextColor(dc, m_crText);
        const auto font = reinterpret_cast<HFONT>(Send(WM_GETFONT));
        // Without a font of its own the control paints in the context's default.
        ui::ScopedSelectObject select(dc, font);
        SetBkMode(dc, TRANSPARENT);
        GetClientRect(hwnd_, &rc);
        UINT format = DT_VCENTER | DT_SINGLELINE;
        if (m_nAlign == 0) {
            rc.left += m_nMargin;
            format |= DT_LEFT;
        } else if (m_nAlign == 1) {
            format |= DT_CENTER;
        } else {
            rc.right -= m_nMargin;
            format |= DT_RIGHT;
        }
        const std::wstring text = ui::Widen(Text());
        DrawTextW(dc, text.c_str(), -1, &rc, format);
    }
    EndPaint(hwnd_, &ps);
}
