#include "app/main_dlg.h"

#include "alarm/pg_alarm.h"
#include "app/about_dlg.h"
#include "app/main_app.h"
#include "app/main_dlg_res.h"
#include "app/service_settings.h"
#include "excel/pg_excel.h"
#include "monitor/chart_panel.h"
#include "monitor/osd_wnd.h"
#include "monitor/pg_monitor.h"
#include "rates/currency_tables.h"
#include "rates/rate_query.h"
#include "ratelog/pg_log.h"
#include "resources/resource.h"
#include "ui/dpi_win.h"
#include "ui/text.h"

#include <objbase.h>

namespace {

constexpr char kSectionBase[] = "Base";
constexpr int kTabMonitor = 0;
constexpr int kTabAlarm = 1;
constexpr int kTabLog = 2;
constexpr int kTabExcel = 3;
constexpr int kTabCount = 4;
// Pages sit below the tab row, in tab-control client pixels at 96 dpi.
constexpr int kPageX = 1;
constexpr int kPageY = 21;
constexpr char kChartOpenCaption[] = "チャート <<";
constexpr char kChartClosedCaption[] = "チャート >>";
// Posted at the end of the initialisation: builds the hidden pages.
constexpr UINT kCreateHiddenPages = WM_APP + 1;
// Posted when the dialog moved to a screen of another scale, once the
// dialog manager has scaled the dialog and its pages.
constexpr UINT kPlacePages = WM_APP + 2;

}  // namespace

CMainDlg::CMainDlg()
    : ui::Dialog(IDD_MAIN), m_hIcon(LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME))) {}

CMainDlg::~CMainDlg() = default;

void CMainDlg::BindControls() {
    m_edRate.Attach(Item(IDC_RATE));
    m_cbCurrency1.Attach(Item(IDC_CURRENCY1));
    m_cbCurrency2.Attach(Item(IDC_CURRENCY2));
    m_btnChart.Attach(Item(IDC_CHART));
    m_tab.Attach(Item(IDC_TAB));
    m_btnHide.Attach(Item(IDC_HIDE));
}

bool CMainDlg::OnInitDialog() {
    HMENU sysMenu = GetSystemMenu(hwnd(), FALSE);
    wchar_t about[128] = {};
    if (sysMenu && LoadStringW(GetModuleHandleW(nullptr), IDS_ABOUTBOX, about, 128) > 0) {
        AppendMenuW(sysMenu, MF_SEPARATOR, 0, nullptr);
        AppendMenuW(sysMenu, MF_STRING, IDM_ABOUTBOX, about);
    }

    Send(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    Send(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

    // The boxes do not sort: a position is a currency index.
    for (const char* entry : rates::kCurrencyList) {
        m_cbCurrency1.AddString(entry);
        m_cbCurrency2.AddString(entry);
    }
    // Passed on as read: an index outside the list leaves no selection, and
    // GET then asks the user to choose.
    m_cbCurrency1.SetCurSel(App().ReadSettingInt(kSectionBase, "nCurrency1", rates::kDefaultCurrency1));
    m_cbCurrency2.SetCurSel(App().ReadSettingInt(kSectionBase, "nCurrency2", rates::kDefaultCurrency2));

    m_pPgMonitor = std::make_unique<CPgMonitor>(this);
    m_pPgAlarm = std::make_unique<CPgAlarm>(this);
    m_pPgExcel = std::make_unique<CPgExcel>(this);
    m_pPgLog = std::make_unique<CPgLog>(this);

    m_tab.InsertItem(kTabMonitor, "Monitor");
    m_tab.InsertItem(kTabAlarm, "Alarm");
    m_tab.InsertItem(kTabLog, "Log");
    m_tab.InsertItem(kTabExcel, "Excel");
    m_tab.SetCurSel(kTabMonitor);
    // The pages are the tab control's children: without this the dialog
    // manager's Tab never walks into them, nor finds their mnemonics.
    SetWindowLongPtrW(m_tab.hwnd(), GWL_EXSTYLE,
                      GetWindowLongPtrW(m_tab.hwnd(), GWL_EXSTYLE) | WS_EX_CONTROLPARENT);

    // Only the page in view is built before the dialog shows. Building the
    // other three took about as long again as the rest of the start, so they
    // follow once the dialog has painted: the message comes before any input
    // in the queue, so every page exists before the user can reach it.
    CreatePage(kTabMonitor);
    PostMessageW(hwnd(), kCreateHiddenPages, 0, 0);
    return true;
}

void CMainDlg::CreatePage(int tab) {
    ui::Dialog* page = Page(tab);
    if (!page || page->hwnd()) return;
    page->Create(m_tab.hwnd());
    // The tab row grows with the dpi: the page goes below it at any scale.
    SetWindowPos(page->hwnd(), HWND_TOP, ui::DpiScale(m_tab.hwnd(), kPageX), ui::DpiScale(m_tab.hwnd(), kPageY), 0,
                 0, SWP_NOSIZE | (tab == kTabMonitor ? SWP_SHOWWINDOW : SWP_HIDEWINDOW));
}

INT_PTR CMainDlg::OnDpiChanged(WPARAM, LPARAM) {
    PostMessageW(hwnd(), kPlacePages, 0, 0);
    return FALSE;  // the default takes the suggested rectangle and scales the controls
}

INT_PTR CMainDlg::OnPlacePages(WPARAM, LPARAM) {
    for (int tab = 0; tab < kTabCount; ++tab) {
        ui::Dialog* page = Page(tab);
        if (!page || !page->hwnd()) continue;
        SetWindowPos(page->hwnd(), nullptr, ui::DpiScale(m_tab.hwnd(), kPageX), ui::DpiScale(m_tab.hwnd(), kPageY),
                     0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (m_bChartOpen) m_pChart->FollowParent();
    return TRUE;
}

INT_PTR CMainDlg::OnCreateHiddenPages(WPARAM, LPARAM) {
    UpdateWindow(hwnd());
    CreatePage(kTabAlarm);
    CreatePage(kTabLog);
    CreatePage(kTabExcel);
    return TRUE;
}

ui::Dialog* CMainDlg::Page(int tab) const {
    switch (tab) {
    case kTabMonitor: return m_pPgMonitor.get();
    case kTabAlarm: return m_pPgAlarm.get();
    case kTabLog: return m_pPgLog.get();
    case kTabExcel: return m_pPgExcel.get();
    default: return nullptr;
    }
}

void CMainDlg::ShowPage(int tab) {
    for (int i = 0; i < kTabCount; ++i)
        if (ui::Dialog* page = Page(i); page && page->hwnd()) ShowWindow(page->hwnd(), SW_HIDE);
    if (ui::Dialog* page = Page(tab); page && page->hwnd()) ShowWindow(page->hwnd(), SW_SHOW);
}

bool CMainDlg::OnCommand(WORD id, WORD code, HWND control) {
    // The tray menu hands its About command to this handler.
    if (id == ID_APP_ABOUT) {
        OnAbout();
        return true;
    }
    static const ui::CommandEntry<CMainDlg> kCommands[] = {
        {IDOK, BN_CLICKED, &CMainDlg::OnGet},
        {IDC_EXIT, BN_CLICKED, &CMainDlg::OnExit},
        {IDC_HIDE, BN_CLICKED, &CMainDlg::OnHide},
        {IDC_CHART, BN_CLICKED, &CMainDlg::OnChart},
    };
    return ui::Route(this, kCommands, id, code) || ui::Dialog::OnCommand(id, code, control);
}

bool CMainDlg::OnNotify(NMHDR* header, LRESULT* result) {
    static const ui::NotifyEntry<CMainDlg> kNotifies[] = {
        {IDC_TAB, static_cast<UINT>(TCN_SELCHANGE), &CMainDlg::OnTabSelChange},
    };
    return ui::Route(this, kNotifies, header, result) || ui::Dialog::OnNotify(header, result);
}

bool CMainDlg::OnMessage(UINT msg, WPARAM wp, LPARAM lp, INT_PTR* result) {
    static const ui::MessageEntry<CMainDlg> kMessages[] = {
        {WM_SYSCOMMAND, &CMainDlg::OnSysCommand},   {WM_PAINT, &CMainDlg::OnPaint},
        {WM_QUERYDRAGICON, &CMainDlg::OnQueryDragIcon}, {WM_MOVE, &CMainDlg::OnMove},
        {WM_CLOSE, &CMainDlg::OnClose}, {WM_SLIDE_KEY, &CMainDlg::OnChartKey},
        {kCreateHiddenPages, &CMainDlg::OnCreateHiddenPages},
        {WM_NEXTDLGCTL, &CMainDlg::OnNextDlgCtl},
        {WM_DPICHANGED, &CMainDlg::OnDpiChanged}, {kPlacePages, &CMainDlg::OnPlacePages},
    };
    return ui::Route(this, kMessages, msg, wp, lp, result) || ui::Dialog::OnMessage(msg, wp, lp, result);
}

INT_PTR CMainDlg::OnNextDlgCtl(WPARAM wp, LPARAM lp) {
    // The dialog manager turns Tab into this message. The tab strip is no
    // Tab stop (Tab walks into its pages instead), so Ctrl+Tab and
    // Ctrl+Shift+Tab turn the pages, as in a property sheet.
    if (LOWORD(lp) != 0 || GetKeyState(VK_CONTROL) >= 0) return FALSE;  // the default moves the focus
    const int tab = (m_tab.GetCurSel() + (wp ? kTabCount - 1 : 1)) % kTabCount;
    m_tab.SetCurSel(tab);
    ShowPage(tab);
    // The focus must not stay in the page just hidden.
    if (ui::Dialog* page = Page(tab); page && page->hwnd())
        if (HWND first = GetNextDlgTabItem(page->hwnd(), nullptr, FALSE))
            Send(WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(first), TRUE);
    return TRUE;
}

LRESULT CMainDlg::OnTabSelChange(NMHDR*) {
    ShowPage(m_tab.GetCurSel());
    return 0;
}

INT_PTR CMainDlg::OnSysCommand(WPARAM wp, LPARAM) {
    if ((wp & 0xFFF0) == IDM_ABOUTBOX) {
        OnAbout();
        return TRUE;
    }
    return FALSE;  // default processing
}

INT_PTR CMainDlg::OnPaint(WPARAM, LPARAM) {
    if (!IsIconic(hwnd())) return FALSE;
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd(), &ps);
    Send(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT rc;
    GetClientRect(hwnd(), &rc);
    const int x = (rc.right - rc.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (rc.bottom - rc.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, m_hIcon);
    EndPaint(hwnd(), &ps);
    return TRUE;
}

INT_PTR CMainDlg::OnQueryDragIcon(WPARAM, LPARAM) { return reinterpret_cast<INT_PTR>(m_hIcon); }

INT_PTR CMainDlg::OnMove(WPARAM, LPARAM) {
    if (m_bChartOpen) m_pChart->FollowParent();
    return FALSE;  // nothing else to do for the default
}

INT_PTR CMainDlg::OnClose(WPARAM, LPARAM) {
    CloseChart();
    return FALSE;  // the default turns the close box into IDCANCEL
}

INT_PTR CMainDlg::OnChartKey(WPARAM wp, LPARAM) {
    // Enter or Escape in the panel: it goes the way the chart button sends
    // it, so the caption and the flag keep telling the truth. Posted by the
    // panel, so it is no longer inside its own handler when deleted here.
    if (wp == 1) CloseChart();
    return TRUE;
}

void CMainDlg::OnChart() {
    if (m_bChartOpen) {
        CloseChart();
        return;
    }
    m_pChart = OpenChartPanel(hwnd());
    if (!m_pChart) return;
    m_btnChart.SetText(kChartOpenCaption);
    m_bChartOpen = 1;
    InvalidateRect(m_pChart->hwnd(), nullptr, TRUE);
}

void CMainDlg::CloseChart() {
    if (!m_bChartOpen) return;
    m_pChart->SlideIn();
    m_pChart.reset();
    m_btnChart.SetText(kChartClosedCaption);
    m_bChartOpen = 0;
}

void CMainDlg::DestroyChart() {
    m_pChart.reset();
    m_bChartOpen = 0;
}

void CMainDlg::EnableMonitorButtons(bool on) {
    m_btnChart.Enable(on);
    m_btnHide.Enable(on);
}

void CMainDlg::OnMonitorDestroyed() {
    DestroyChart();
    EndDialog(1);
}

void CMainDlg::OnGet() {
    m_edRate.SetText("");
    const int currency1 = m_cbCurrency1.GetCurSel();
    const int currency2 = m_cbCurrency2.GetCurSel();
    if (currency1 < 0 || currency2 < 0) {
        App().DoMessageBox("通貨を選択してください", MB_OK | MB_ICONEXCLAMATION);
        return;
    }

    // The dialog does not respond while the services are asked; every wait is
    // bounded by the transport's time-outs.
    const HRESULT com = CoInitialize(nullptr);
    const rates::RateAnswer answer = rates::QueryRate(ReadServiceSettings(), currency1, currency2);
    if (answer.ok) {
        m_edRate.SetText(rates::RateText(answer.rate));
    } else {
        App().DoMessageBox(rates::ResultCodeText(answer.code), MB_OK | MB_ICONHAND);
    }
    if (SUCCEEDED(com)) CoUninitialize();

    // Saved whatever the outcome.
    App().WriteSettingInt(kSectionBase, "nCurrency1", currency1);
    App().WriteSettingInt(kSectionBase, "nCurrency2", currency2);
}

void CMainDlg::OnAbout() {
    CAboutDlg about;
    about.DoModal(hwnd());
}

void CMainDlg::OnHide() {
    CloseChart();
    ShowWindow(hwnd(), SW_HIDE);
}

void CMainDlg::OnExit() {
    DestroyChart();
    EndDialog(IDOK);
    // Ends the on-screen window's message loop, when it runs.
    DeleteTheOSDwnd();
}
