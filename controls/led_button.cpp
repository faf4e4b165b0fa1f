#include "controls/led_button.h"

#include "ui/dpi_win.h"
#include "ui/gdi.h"
#include "ui/text.h"

namespace {
// Whatever style the dialog or a caller sets, the control stays owner-drawn.
constexpr DWORD kButtonTypeMask = 0x0F;
constexpr int kIconGap = 3;  // between the icon and the caption
// Sent to child windows after their top-level window changed its dpi
// (Windows 10 1703 and later; the headers name it only for newer targets).
constexpr UINT kDpiChangedAfterParent = 0x02E3;
}  // namespace

CLedButton::CLedButton() { SetStateCount(2, false); }

CLedButton::~CLedButton() { DestroyIcons(); }

void CLedButton::DestroyIcons() {
    for (LedState& s : m_states) {
        if (s.hIcon) DestroyIcon(s.hIcon);
        s.hIcon = nullptr;
    }
}

void CLedButton::ResetColours() {
    for (LedState& s : m_states) {
        s.crText = GetSysColor(COLOR_BTNTEXT);
        s.crBack = GetSysColor(COLOR_BTNFACE);
    }
}

void CLedButton::SetStateCount(int count, bool redraw) {
    DestroyIcons();
    m_states.assign(static_cast<size_t>(count > 0 ? count : 0), LedState{});
    m_nStateCount = static_cast<int>(m_states.size());
    ResetColours();
    if (redraw) Invalidate();
}

bool CLedButton::SetStateIcon(int index, HICON icon) {
    if (index < 0 || index >= m_nStateCount) return false;
    LedState& s = m_states[static_cast<size_t>(index)];
    if (s.hIcon) DestroyIcon(s.hIcon);
    s.hIcon = nullptr;
    s.cxIcon = s.cyIcon = 0;
    if (!icon) return true;
    s.hIcon = icon;
    ICONINFO info{};
    if (!GetIconInfo(icon, &info)) {
        DestroyIcon(icon);
        s.hIcon = nullptr;
        return false;
    }
    s.cxIcon = static_cast<int>(info.xHotspot) * 2;
    s.cyIcon = static_cast<int>(info.yHotspot) * 2;
    if (info.hbmMask) DeleteObject(info.hbmMask);
    if (info.hbmColor) DeleteObject(info.hbmColor);
    return true;
}

bool CLedButton::LoadStateIcon(int index, int iconId, int cx, int cy) {
    if (index < 0 || index >= m_nStateCount) return false;
    auto icon = static_cast<HICON>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(iconId), IMAGE_ICON, cx, cy, LR_DEFAULTCOLOR));
    return SetStateIcon(index, icon);
}

bool CLedButton::SetIcons(int iconIdOff, int iconIdOn) {
    m_nIconIds[0] = iconIdOff;
    m_nIconIds[1] = iconIdOn;
    // The resources hold 16 and 32 pixel images; the system picks the
    // nearer one for the size asked for instead of stretching 16 pixels.
    const int size = ui::SmallIconSize(hwnd_);
    bool ok = true;
    if (iconIdOff != 0 && m_nStateCount > 0) {
        ok = LoadStateIcon(0, iconIdOff, size, size);
        if (!ok) return false;
    }
    if (iconIdOn != 0 && m_nStateCount > 0) return LoadStateIcon(1, iconIdOn, size, size);
    return ok;
}

void CLedButton::SetState(int state) {
    if (state == m_nState) return;
    if (state >= 0 && state < m_nStateCount) m_nState = state;
    Invalidate();
}

void CLedButton::OnSubclassed() {
    const DWORD style = static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_STYLE));
    SetWindowLongPtrW(hwnd_, GWL_STYLE, static_cast<LONG_PTR>((style & ~kButtonTypeMask) | BS_OWNERDRAW));
    SetWindowPos(hwnd_, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    m_dwStyle = static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_STYLE));
}

bool CLedButton::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
    switch (msg) {
    case BM_SETSTYLE:
        *result = Default(msg, (wp & ~static_cast<WPARAM>(0x4)) | 0x0B, lp);
        return true;
    case WM_SYSCOLORCHANGE:
        *result = Default(msg, wp, lp);
        ResetColours();
        Invalidate();
        return true;
    case kDpiChangedAfterParent:
        *result = Default(msg, wp, lp);
        if (m_nIconIds[0] || m_nIconIds[1]) SetIcons(m_nIconIds[0], m_nIconIds[1]);
        Invalidate();
        return true;
    default:
        return false;
    }
}

bool CLedButton::OnReflected(UINT msg, WPARAM, LPARAM lp, LRESULT* result) {
    switch (msg) {
    case WM_DRAWITEM:
        Draw(*reinterpret_cast<const DRAWITEMSTRUCT*>(lp));
        *result = TRUE;
        return true;
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC:
        *result = reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
        return true;
    default:
        return false;
    }
}

void CLedButton::Draw(const DRAWITEMSTRUCT& item) {
    HDC dc = item.hDC;
    const RECT rc = item.rcItem;
    m_bDisabled = (item.itemState & ODS_DISABLED) != 0;
    const int oldMode = SetBkMode(dc, TRANSPARENT);

    const bool known = m_nState >= 0 && m_nState < m_nStateCount;
    const LedState none{GetSysColor(COLOR_BTNTEXT), GetSysColor(COLOR_BTNFACE), nullptr, 0, 0};
    const LedState& s = known ? m_states[static_cast<size_t>(m_nState)] : none;
    {
        ui::GdiObject<HBRUSH> back(CreateSolidBrush(s.crBack));
        FillRect(dc, &rc, back.get());
    }

    // The icon at one edge, the caption beside it.
    RECT text = rc;
    int x = rc.left;
    if (m_dwStyle & BS_LEFTTEXT) {
        x = rc.right - s.cxIcon;
        text.right = x - kIconGap;
    } else {
        text.left = rc.left + s.cxIcon + kIconGap;
    }
    const int y = rc.top + (rc.bottom - rc.top - s.cyIcon) / 2;
    if (s.hIcon)
        DrawStateW(dc, nullptr, nullptr, reinterpret_cast<LPARAM>(s.hIcon), 0, x, y, s.cxIcon, s.cyIcon,
                   DST_ICON | (m_bDisabled ? DSS_DISABLED : 0));

    const std::wstring caption = ui::Widen(Text());
    if (!caption.empty()) {
        UINT align = DT_LEFT;
        if ((m_dwStyle & BS_CENTER) == BS_CENTER) align = DT_CENTER;
        else if (m_dwStyle & BS_RIGHT) align = DT_RIGHT;
        const UINT flags = DT_WORDBREAK | DT_VCENTER | align;
        RECT measured = text;
        DrawTextW(dc, caption.c_str(), -1, &measured, flags | DT_CALCRECT);
        const int w = measured.right - measured.left;
        const int h = measured.bottom - measured.top;
        RECT place = text;
        place.top = text.top + (text.bottom - text.top - h) / 2;
        place.bottom = place.top + h;
        if (align == DT_CENTER) place.left = text.left + (text.right - text.left - w) / 2;
        else if (align == DT_RIGHT) place.left = text.right - w;
        place.right = place.left + w;
        if (m_bDisabled) {
            RECT shifted = place;
            OffsetRect(&shifted, 1, 1);
            SetTextColor(dc, GetSysColor(COLOR_BTNHIGHLIGHT));
            DrawTextW(dc, caption.c_str(), -1, &shifted, flags);
            SetTextColor(dc, GetSysColor(COLOR_BTNSHADOW));
        } else {
            SetTextColor(dc, s.crText);
        }
        DrawTextW(dc, caption.c_str(), -1, &place, flags);
    }
    SetBkMode(dc, oldMode);
}
