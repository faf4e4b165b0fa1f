#include "monitor/chart_panel.h"

#include <vector>

#include "alarm/alarm_state.h"
#include "monitor/chart_geometry.h"
#include "monitor/rate_history.h"
#include "resources/resource.h"
#include "ui/gdi.h"
#include "ui/text.h"

namespace {

constexpr COLORREF kLimitColour = RGB(255, 0, 0);
constexpr int kLimitPenWidth = 1;
constexpr COLORREF kRateColour = RGB(0, 0, 255);
constexpr int kRatePenWidth = 2;

chart::Box ToBox(const RECT& rc) { return {rc.left, rc.top, rc.right, rc.bottom}; }

}  // namespace

CSlidingDialog::CSlidingDialog(int templateId, HWND owner) : ui::Dialog(templateId), m_pParent(owner) {}

int CSlidingDialog::FollowParent() {
    GetWindowRect(m_pParent, &m_rcParent);
    const chart::Placement p = chart::FollowPlacement(ToBox(m_rcParent), ToBox(m_rcSelf));
    SetWindowPos(hwnd(), HWND_TOP, p.x, p.y, p.width, p.height, SWP_SHOWWINDOW);
    return 1;
}

namespace {

// Each step goes just below the owner, so the panel appears from behind it.
void Animate(HWND panel, HWND owner, uint32_t delayMs, const std::vector<chart::Placement>& steps) {
    for (const chart::Placement& p : steps) {
        Sleep(delayMs);
        SetWindowPos(panel, owner, p.x, p.y, p.width, p.height,
                     SWP_SHOWWINDOW | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
    }
}

}  // namespace

int CSlidingDialog::SlideOut() {
    GetWindowRect(m_pParent, &m_rcParent);
    GetWindowRect(hwnd(), &m_rcSelf);
    Animate(hwnd(), m_pParent, m_nDelayMs, chart::SlideOutSteps(ToBox(m_rcParent), ToBox(m_rcSelf), m_nSide));
    return 1;
}

int CSlidingDialog::SlideIn() {
    // Right: from where the last slide-out or move left the owner's edge.
    if (m_nSide == chart::kSideLeft) GetWindowRect(hwnd(), &m_rcSelf);
    Animate(hwnd(), m_pParent, m_nDelayMs, chart::SlideInSteps(ToBox(m_rcParent), ToBox(m_rcSelf), m_nSide));
    return 1;
}

bool CSlidingDialog::OnCommand(WORD id, WORD code, HWND control) {
    if ((id == IDOK || id == IDCANCEL) && code == BN_CLICKED) PostMessageW(m_pParent, WM_SLIDE_KEY, 1, 0);
    return ui::Dialog::OnCommand(id, code, control);
}

CSlide::CSlide(HWND owner) : CSlidingDialog(IDD_CHART, owner) {}

bool CSlide::OnInitDialog() {
    RECT rc{};
    GetClientRect(hwnd(), &rc);
    m_dStep = chart::SampleStep(rc.right - rc.left);
    // No focus for the panel (it has no controls): taking it activated the
    // hidden panel, and the keyboard left the dialog whenever the chart opened.
    return false;
}

bool CSlide::OnMessage(UINT msg, WPARAM wp, LPARAM lp, INT_PTR* result) {
    static const ui::MessageEntry<CSlide> kMessages[] = {
        {WM_CTLCOLORDLG, &CSlide::OnCtlColorDlg},
        {WM_PAINT, &CSlide::OnPaint},
    };
    return ui::Route(this, kMessages, msg, wp, lp, result) || CSlidingDialog::OnMessage(msg, wp, lp, result);
}

INT_PTR CSlide::OnCtlColorDlg(WPARAM, LPARAM lp) {
    if (reinterpret_cast<HWND>(lp) != hwnd()) return FALSE;  // the default brush
    return reinterpret_cast<INT_PTR>(GetStockObject(WHITE_BRUSH));
}

INT_PTR CSlide::OnPaint(WPARAM, LPARAM) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd(), &ps);
    RECT rc{};
    GetClientRect(hwnd(), &rc);
    const chart::Drawing d =
        chart::LayOut(RateHistory, rc.right, rc.bottom, m_dStep, AlarmState.dLimitHigh, AlarmState.dLimitLow);
    {
        const ui::GdiObject<HPEN> red(CreatePen(PS_SOLID, kLimitPenWidth, kLimitColour));
        const ui::GdiObject<HPEN> blue(CreatePen(PS_SOLID, kRatePenWidth, kRateColour));
        const ui::ScopedSelectObject pen(dc, red.get());
        for (const chart::LimitLine& limit : d.limits) {
            MoveToEx(dc, 0, limit.y, nullptr);
            LineTo(dc, rc.right, limit.y);
            const std::wstring text = ui::Widen(limit.text);
            TextOutW(dc, limit.label.x, limit.label.y, text.c_str(), static_cast<int>(text.size()));
        }
        SelectObject(dc, blue.get());
        Rectangle(dc, d.square.left, d.square.top, d.square.right, d.square.bottom);
        MoveToEx(dc, d.start.x, d.start.y, nullptr);
        for (const chart::Point& p : d.line) LineTo(dc, p.x, p.y);
    }
    EndPaint(hwnd(), &ps);
    return TRUE;
}

std::unique_ptr<CSlide> OpenChartPanel(HWND owner) {
    auto panel = std::make_unique<CSlide>(owner);
    // No owner window: an owned popup always stays above its owner and could
    // not come out from behind it.
    if (!panel->Create(nullptr)) return nullptr;
    panel->m_nDelayMs = 12;
    panel->m_nSide = chart::kSideRight;
    panel->SlideOut();
    return panel;
}
