#include "controls/link_static.h"

#include <shellapi.h>

#include "ui/text.h"

namespace {

// The hand pointer of the Windows help program.
constexpr WORD kHelpHandCursor = 106;
constexpr COLORREF kLinkBlue = RGB(0, 0, 255);

}  // namespace

CLinkStatic::CLinkStatic() : m_brBackground(CreateSolidBrush(GetSysColor(COLOR_BTNFACE))) {
    wchar_t windows[MAX_PATH] = {};
    const UINT n = GetWindowsDirectoryW(windows, MAX_PATH);
    if (n > 0 && n < MAX_PATH) {
        const std::wstring help = std::wstring(windows) + L"\\winhlp32.exe";
        // Only its resources are wanted: mapped as data, none of its code runs.
        if (HMODULE module = LoadLibraryExW(help.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {
            if (HCURSOR hand = LoadCursorW(module, MAKEINTRESOURCEW(kHelpHandCursor))) {
                m_hCursor = reinterpret_cast<HCURSOR>(CopyIcon(reinterpret_cast<HICON>(hand)));
                m_bOwnCursor = m_hCursor != nullptr;
            }
            FreeLibrary(module);
        }
    }
    if (!m_hCursor) m_hCursor = LoadCursorW(nullptr, IDC_ARROW);
}

CLinkStatic::~CLinkStatic() {
    if (m_bOwnCursor) DestroyCursor(m_hCursor);
}

bool CLinkStatic::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
    switch (msg) {
    case WM_SETCURSOR:
        SetCursor(m_hCursor);
        *result = TRUE;
        return true;
    case WM_LBUTTONDOWN:
        // The shell decides what the text opens; its answer is not ours to show.
        ShellExecuteW(nullptr, L"open", ui::Widen(Text()).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
        *result = Default(msg, wp, lp);
        return true;
    default: return false;
    }
}

bool CLinkStatic::OnReflected(UINT msg, WPARAM wp, LPARAM, LRESULT* result) {
    if (msg != WM_CTLCOLORSTATIC) return false;
    if (!m_fontUnderline) {
        auto font = reinterpret_cast<HFONT>(Send(WM_GETFONT));
        LOGFONTW lf = {};
        if (!GetObjectW(font ? font : GetStockObject(DEFAULT_GUI_FONT), sizeof(lf), &lf)) return false;
        lf.lfUnderline = TRUE;
        m_fontUnderline.reset(CreateFontIndirectW(&lf));
        if (m_fontUnderline) {
            Send(WM_SETFONT, reinterpret_cast<WPARAM>(m_fontUnderline.get()), FALSE);
            InvalidateRect(hwnd_, nullptr, TRUE);
        }
    }
    const auto dc = reinterpret_cast<HDC>(wp);
    SetTextColor(dc, kLinkBlue);
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    *result = reinterpret_cast<LRESULT>(m_brBackground.get());
    return true;
}
