#include "monitor/osd_wnd.h"

#include <objbase.h>

#include <ctime>

#include "alarm/alarm_state.h"
#include "app/main_app.h"
#include "monitor/quiet_manner.h"
#include "monitor/rate_history.h"
#include "rates/currency_convertor.h"
#include "rates/currency_exchange_service.h"
#include "rates/currency_tables.h"
#include "rates/service_probe.h"
#include "ratelog/rate_log.h"
#include "resources/resource.h"
#include "ui/dialog.h"
#include "ui/dpi_win.h"
#include "ui/gdi.h"
#include "ui/text.h"

bool bMonitorOn = false;

namespace {

// The window procedure finds the object here: there is one on-screen window.
OSDwnd* g_pWndObject = nullptr;
std::unique_ptr<OSDwnd> g_pOSDwnd;

// Explorer announces a restart with this message; the icon must be added again.
UINT TaskbarCreatedMessage() {
    static const UINT msg = RegisterWindowMessageW(L"TaskbarCreated");
    return msg;
}

HFONT CreateRateFont(int dpi) {
    return CreateFontW(monitor::FontHeight(dpi), 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                       L"ＭＳ ゴシック");
}

void CopyTip(NOTIFYICONDATAW& nid, const std::wstring& tip) {
    lstrcpynW(nid.szTip, tip.c_str(), static_cast<int>(sizeof(nid.szTip) / sizeof(nid.szTip[0])));
}

}  // namespace

OSDwnd* TheOSDwnd() { return g_pOSDwnd.get(); }

void SetTheOSDwnd(std::unique_ptr<OSDwnd> osd) { g_pOSDwnd = std::move(osd); }

void DeleteTheOSDwnd() {
    if (!g_pOSDwnd) return;
    if (HWND hwnd = g_pOSDwnd->hwnd()) DestroyWindow(hwnd);
    g_pOSDwnd.reset();
}

OSDwnd::OSDwnd(const rates::ServiceSettings& settings) {
    m_bComInitialized = SUCCEEDED(CoInitialize(nullptr));
    m_poll.bUp = true;

    // Whatever pair the user chose, the probe asks for US dollars in yen; the
    // service that answers serves every poll.
    if (const char* failure = rates::ProbeServices(settings, &m_pConv, &m_pExch))
        App().DoMessageBox(failure, MB_OK | MB_ICONEXCLAMATION);
}

OSDwnd::~OSDwnd() {
    if (g_pWndObject == this) g_pWndObject = nullptr;
    if (m_bClassRegistered) UnregisterClassW(m_pszClass, m_hInst);
    m_pConv.reset();
    m_pExch.reset();
    if (m_bComInitialized) CoUninitialize();
}

int OSDwnd::Create(HINSTANCE hInst, int nCur1, int nCur2, int nIntervalIndex, int nPositionIndex, COLORREF crUp,
                   COLORREF crDown, int bRateOnly, IMonitorHost* pMainDlg) {
    // Moves are of one pair in one run of the monitor.
    AlarmState.moves.Clear();
    if (m_hInst) {
        m_nCur1 = nCur1;
        m_nCur2 = nCur2;
        m_poll.strPair = monitor::PairLabel(nCur1, nCur2);
        if (bMonitorOn) {
            std::string tip = "モニターON";
            tip += AlarmState.bAlarmOn ? "アラームON" : "アラームOFF";
            if (!SetTip(tip, NIM_MODIFY)) return 0;
            m_crUp = crUp;
            m_crDown = crDown;
            m_poll.bRateOnly = bRateOnly != 0;
            SetInterval(nIntervalIndex);
            MoveToPosition(nPositionIndex);
            SetTimer(m_hWnd, kPollTimer, m_nPollMs, nullptr);
            return 1;
        }
        RateHistory.Reset();
        if (!SetTip("モニターOFF", NIM_MODIFY)) return 0;
        ShowWindow(m_hWnd, SW_HIDE);
        KillTimer(m_hWnd, kShowTimer);
        KillTimer(m_hWnd, kPollTimer);
        return 1;
    }

    RateHistory.Reset();
    m_pMainDlg = pMainDlg;
    m_hInst = hInst;
    m_nCur1 = nCur1;
    m_nCur2 = nCur2;
    m_nShowMs = monitor::kShowMs;
    m_poll.strPair = monitor::PairLabel(nCur1, nCur2);

    // The screen's dpi until the window exists and tells its own.
    m_nDpi = ui::DpiOf(nullptr);
    m_font.reset(CreateRateFont(m_nDpi));
    if (!m_font) {
        UndoFirstCreate();
        return 0;
    }

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = &OSDwnd::WndProc;
    wc.hInstance = m_hInst;
    wc.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    // Black is the colour key: the background shows nothing.
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = m_pszClass;
    if (!RegisterClassExW(&wc)) {
        UndoFirstCreate();
        return 0;
    }
    m_bClassRegistered = true;

    SetInterval(nIntervalIndex);
    m_crUp = crUp;
    m_crDown = crDown;
    m_poll.bRateOnly = bRateOnly != 0;
    m_poll.bUp = true;

    // Created hidden and never activated: shown and hidden again it took the
    // activation from the dialog and left no window of the program with the
    // keyboard focus. The control that had it gets it back.
    HWND focus = GetFocus();
    m_hWnd = CreateWindowExW(WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TRANSPARENT | WS_EX_TOPMOST | WS_EX_NOACTIVATE,
                             m_pszClass, L"", WS_POPUP, 0, 0, monitor::kFirstWidth, monitor::kWindowHeight,
                             GetDesktopWindow(), nullptr, m_hInst, this);
    if (!m_hWnd) {
        UndoFirstCreate();
        return 0;
    }
    UseDpi(ui::DpiOf(m_hWnd));
    MoveToPosition(nPositionIndex);

    // The whole record: its tip holds 128 characters, room for the rate.
    m_nid.cbSize = sizeof(m_nid);
    m_nid.hWnd = m_hWnd;
    m_nid.uID = kTrayIconId;
    m_nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    m_nid.uCallbackMessage = kTrayCallback;
    // At the notification area's size for this dpi, not a blurred 16 pixels.
    // One left by a failed first Create goes first.
    m_icon.reset(ui::LoadSmallIcon(m_hInst, IDR_MAINFRAME, m_hWnd));
    m_nid.hIcon = m_icon.get();
    if (!SetTip("Zelvane", NIM_ADD)) {
        UndoFirstCreate();
        return 0;
    }
    m_bIconAdded = true;
    if (focus && IsWindow(focus) && GetFocus() != focus) SetFocus(focus);
    return 1;
}

void OSDwnd::UndoFirstCreate() {
    if (m_hWnd) {
        // Its WM_DESTROY must not end the program: nothing was running yet.
        m_bUndoing = true;
        DestroyWindow(m_hWnd);
        m_bUndoing = false;
        m_hWnd = nullptr;
    }
    if (m_bClassRegistered) UnregisterClassW(m_pszClass, m_hInst);
    m_bClassRegistered = false;
    m_font.reset();
    m_hInst = nullptr;
}

bool OSDwnd::SetTip(const std::string& state, DWORD action) {
    m_strTipState = state;
    std::string lines = state;
    if (IsSnoozed(AlarmState, std::time(nullptr))) lines += "\n" + SnoozeTipLine(AlarmState.nSnoozeUntil);
    CopyTip(m_nid, ui::Widen(monitor::TrayTip(lines, m_bPolled ? &m_lastRate : nullptr)));
    return Shell_NotifyIconW(action, &m_nid) != FALSE;
}

void OSDwnd::Snooze(std::int64_t until) {
    AlarmState.nSnoozeUntil = until;
    KillTimer(m_hWnd, kSnoozeTimer);
    if (until) OnSnoozeTimer();
    if (m_bIconAdded) SetTip(m_strTipState, NIM_MODIFY);
}

void OSDwnd::OnSnoozeTimer() {
    const std::int64_t left = AlarmState.nSnoozeUntil - std::time(nullptr);
    if (left > 0) {
        // Again at the end; a clock set forward or a sleep ends it at the
        // next poll anyway, since the poll looks at the time itself.
        SetTimer(m_hWnd, kSnoozeTimer, static_cast<UINT>(left * 1000), nullptr);
        return;
    }
    KillTimer(m_hWnd, kSnoozeTimer);
    AlarmState.nSnoozeUntil = 0;
    if (m_bIconAdded) SetTip(m_strTipState, NIM_MODIFY);
}

void OSDwnd::EnableTrayItems(HMENU popup) const {
    const UINT snooze = AlarmState.bAlarmOn ? MF_ENABLED : MF_GRAYED;
    EnableMenuItem(popup, ID_TRAY_SNOOZE_HOUR, MF_BYCOMMAND | snooze);
    EnableMenuItem(popup, ID_TRAY_SNOOZE_MORNING, MF_BYCOMMAND | snooze);
    const bool snoozed = IsSnoozed(AlarmState, std::time(nullptr));
    EnableMenuItem(popup, ID_TRAY_RESUME, MF_BYCOMMAND | (snoozed ? MF_ENABLED : MF_GRAYED));
}

void OSDwnd::DropConnection() {
    if (m_pConv) m_pConv->Client().Http().Http().Connection().Close();
    if (m_pExch) m_pExch->Client().Http().Http().Connection().Close();
}

void OSDwnd::OnResume() {
    if (!m_hWnd || !bMonitorOn) return;
    // The kept connection died with the sleep (or the network changed
    // under it): waiting for its time-out would cost the first poll.
    DropConnection();
    // A change shown before the sleep is old news.
    KillTimer(m_hWnd, kShowTimer);
    ShowWindow(m_hWnd, SW_HIDE);
    m_bResumePoll = true;
    SetTimer(m_hWnd, kPollTimer, kResumePollMs, nullptr);
}

int OSDwnd::Run() {
    ShowWindow(m_hWnd, SW_HIDE);
    UpdateWindow(m_hWnd);
    SetLayeredWindowAttributes(m_hWnd, RGB(0, 0, 0), 0, LWA_COLORKEY);
    // Every window of the thread is served from here until the program ends.
    // The exit paths delete this object before WM_QUIT arrives: nothing below
    // may touch a member.
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        // Tab, Enter, Esc and the mnemonics of the dialogs (the main dialog
        // with its pages, the chart panel) are handled as in a dialog's own loop.
        if (ui::HandleDialogMessage(&msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}

bool OSDwnd::FetchRate(double* rate) {
    return rates::AskProbedService(m_pConv.get(), m_pExch.get(), m_nCur1, m_nCur2, rate);
}

int OSDwnd::Poll() {
    m_poll.strText.clear();
    double rate = 0.0;
    // A failed poll is silent: the next one comes a period later.
    if (!FetchRate(&rate)) return 0;
    UpdateTipRate(rate);
    const std::int64_t now = std::time(nullptr);
    AlarmState.moves.Add(now, rate, std::int64_t{kMoveMinutesMax} * 60);
    monitor::PollHooks hooks;
    hooks.logOn = LogState.bLogOn;
    hooks.alarmOn = AlarmState.bAlarmOn;
    hooks.writeLog = [](const std::string& pair, double r) { WriteRateLog(pair, r); };
    hooks.checkAlarm = [](double r) { return CheckAlarm(r); };
    hooks.snoozed = [now] { return IsSnoozed(AlarmState, now); };
    hooks.note = [now](double r) { return MoveNote(AlarmState, r, now); };
    hooks.stayQuiet = [this] { return monitor::UserMustNotBeDisturbed(m_bQuietFullScreen); };
    if (!monitor::TakeRate(m_poll, rate, RateHistory, hooks)) return 0;
    // A text wider than the window at a high dpi widens it.
    MoveToPosition(m_nPosition);
    return 1;
}

bool OSDwnd::UseDpi(int dpi) {
    if (dpi == m_nDpi && m_font) return false;
    ui::GdiObject<HFONT> font(CreateRateFont(dpi));
    if (!font) return false;  // the old font still draws, if smaller
    m_font = std::move(font);
    m_nDpi = dpi;
    return true;
}

int OSDwnd::TextWidth() const {
    if (m_poll.strText.empty() || !m_font) return 0;
    HDC screen = GetDC(nullptr);
    if (!screen) return 0;
    RECT rc{0, 0, 0, 0};
    {
        ui::ScopedSelectObject font(screen, m_font.get());
        const std::wstring text = ui::Widen(m_poll.strText);
        DrawTextW(screen, text.c_str(), static_cast<int>(text.size()), &rc, DT_CALCRECT);
    }
    ReleaseDC(nullptr, screen);
    return rc.right - rc.left;
}

void OSDwnd::UpdateTipRate(double rate) {
    const std::time_t now = std::time(nullptr);
    const std::tm* local = std::localtime(&now);
    m_lastRate = {m_nCur1, m_nCur2, rate, local ? local->tm_hour : 0, local ? local->tm_min : 0};
    m_bPolled = true;
    // A failed update keeps the old tip; the next poll tries again.
    if (m_bIconAdded) SetTip(m_strTipState, NIM_MODIFY);
}

void OSDwnd::MoveToPosition(int nIndex) {
    m_nPosition = nIndex;
    RECT screen;
    if (!GetClientRect(GetDesktopWindow(), &screen)) return;
    const monitor::Placement p = monitor::PlaceWindow(screen.right - screen.left, screen.bottom - screen.top, nIndex,
                                                      m_poll.bRateOnly, m_nDpi, TextWidth());
    if (!MoveWindow(m_hWnd, p.x, p.y, p.width, p.height, TRUE))
        App().DoMessageBox("移動失敗!", MB_OK | MB_ICONEXCLAMATION);
}

void OSDwnd::Paint() {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(m_hWnd, &ps);
    SetTextColor(dc, monitor::VisibleTextColour(m_poll.bUp ? m_crUp : m_crDown));
    SetBkMode(dc, TRANSPARENT);
    {
        ui::ScopedSelectObject font(dc, m_font.get());
        RECT rc;
        GetClientRect(m_hWnd, &rc);
        const int margin = ui::ScaleForDpi(monitor::kTextMargin, m_nDpi);
        rc.left += margin;
        rc.top += margin;
        const std::wstring text = ui::Widen(m_poll.strText);
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rc, 0);
    }
    EndPaint(m_hWnd, &ps);
}

LRESULT CALLBACK OSDwnd::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_CREATE) g_pWndObject = static_cast<OSDwnd*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
    if (!g_pWndObject) return DefWindowProcW(hwnd, msg, wp, lp);
    return g_pWndObject->OnMessage(hwnd, msg, wp, lp);
}

LRESULT OSDwnd::OnMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_CREATE:
        SetTimer(hwnd, kPollTimer, m_nPollMs, nullptr);
        return 0;
    case WM_TIMER:
        if (wp == kShowTimer) {
            ShowWindow(hwnd, SW_HIDE);
            KillTimer(hwnd, kShowTimer);
            SetTimer(hwnd, kPollTimer, m_nPollMs, nullptr);
        } else if (wp == kSnoozeTimer) {
            OnSnoozeTimer();
        } else if (wp == kPollTimer) {
            if (m_bResumePoll) {
                // Back on the regular period after the poll that followed a resume.
                m_bResumePoll = false;
                SetTimer(hwnd, kPollTimer, m_nPollMs, nullptr);
            }
            if (Poll()) {
                // Shown without taking the focus from whatever the user is
                // typing into.
                ShowWindow(hwnd, SW_SHOWNA);
                InvalidateRect(hwnd, nullptr, TRUE);
                KillTimer(hwnd, kPollTimer);
                SetTimer(hwnd, kShowTimer, m_nShowMs, nullptr);
            }
        }
        return 0;
    case WM_PAINT:
        if (m_poll.strText.empty()) return DefWindowProcW(hwnd, msg, wp, lp);
        Paint();
        return 0;
    case WM_DESTROY:
        OnDestroy();
        return 0;
    case WM_POWERBROADCAST:
        if (wp == PBT_APMRESUMEAUTOMATIC || wp == PBT_APMRESUMESUSPEND) OnResume();
        return TRUE;
    case WM_NCDESTROY:
        m_hWnd = nullptr;
        return DefWindowProcW(hwnd, msg, wp, lp);
    case WM_COMMAND:
        return OnCommand(hwnd, wp, lp);
    case WM_DPICHANGED: {
        // Moved to a screen of another scale: a font of that scale, and the
        // window placed again on the desktop as the settings say.
        const RECT* suggested = reinterpret_cast<const RECT*>(lp);
        SetWindowPos(hwnd, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
        UseDpi(HIWORD(wp));
        MoveToPosition(m_nPosition);
        InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    }
    case kTrayCallback:
        OnTrayNotify(wp, lp);
        return 0;
    default:
        if (msg == TaskbarCreatedMessage() && m_bIconAdded) {
            // Explorer has restarted: the icon went with the old taskbar.
            Shell_NotifyIconW(NIM_ADD, &m_nid);
            return 0;
        }
        return DefWindowProcW(hwnd, msg, wp, lp);
    }
}

void OSDwnd::OnDestroy() {
    KillTimer(m_hWnd, kShowTimer);
    KillTimer(m_hWnd, kPollTimer);
    KillTimer(m_hWnd, kSnoozeTimer);
    if (m_bUndoing) return;
    if (m_bIconAdded) {
        m_nid.uFlags = 0;
        Shell_NotifyIconW(NIM_DELETE, &m_nid);
        m_bIconAdded = false;
    }
    PostQuitMessage(0);
    if (m_pMainDlg) m_pMainDlg->OnMonitorDestroyed();
}

void OSDwnd::OnTrayNotify(WPARAM wp, LPARAM lp) {
    if (wp != m_nid.uID || m_nid.uID == 0 || LOWORD(lp) != WM_RBUTTONUP) return;
    HMENU menu = LoadMenuW(m_hInst, MAKEINTRESOURCEW(IDR_TRAYMENU));
    if (!menu) return;
    HMENU popup = GetSubMenu(menu, 0);
    if (popup) {
        EnableTrayItems(popup);
        POINT pt;
        GetCursorPos(&pt);
        // Without the foreground the menu would not close when the user
        // clicks elsewhere.
        SetForegroundWindow(m_hWnd);
        TrackPopupMenu(popup, 0, pt.x, pt.y, 0, m_hWnd, nullptr);
        PostMessageW(m_hWnd, WM_NULL, 0, 0);
    }
    // The popup goes with the menu that holds it.
    DestroyMenu(menu);
}

LRESULT OSDwnd::OnCommand(HWND hwnd, WPARAM wp, LPARAM lp) {
    switch (LOWORD(wp)) {
    case ID_APP_ABOUT:
        if (m_pMainDlg) SendMessageW(m_pMainDlg->HostWindow(), WM_COMMAND, wp, lp);
        return 0;
    case ID_TRAY_SHOW:
        if (m_pMainDlg) ShowWindow(m_pMainDlg->HostWindow(), SW_RESTORE);
        return 0;
    case ID_TRAY_SNOOZE_HOUR:
        Snooze(SnoozeEnd(std::time(nullptr), SnoozeLength::kHour));
        return 0;
    case ID_TRAY_SNOOZE_MORNING:
        Snooze(SnoozeEnd(std::time(nullptr), SnoozeLength::kUntilMorning));
        return 0;
    case ID_TRAY_RESUME:
        Snooze(0);
        return 0;
    case ID_TRAY_EXIT:
        DestroyWindow(hwnd);
        // This object is gone after the call: return at once.
        DeleteTheOSDwnd();
        return 0;
    default:
        return DefWindowProcW(hwnd, WM_COMMAND, wp, lp);
    }
}
