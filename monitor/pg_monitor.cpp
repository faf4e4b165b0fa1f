#include "monitor/pg_monitor.h"

#include <commdlg.h>

#include "alarm/limit_text.h"
#include "app/main_app.h"
#include "app/service_settings.h"
#include "monitor/osd_wnd.h"
#include "monitor/pg_monitor_res.h"

namespace {

constexpr char kSection[] = "Monitor";
constexpr COLORREF kDefaultUp = RGB(0, 0, 255);
constexpr COLORREF kDefaultDown = RGB(255, 0, 0);

constexpr const char* kIntervals[] = {"30秒", "1分", "1分30秒", "2分", "2分30秒", "3分", "4分", "5分"};
constexpr const char* kPositions[] = {"左上", "右上", "真ん中"};
constexpr int kMinStepMax = 9999;

}  // namespace

CPgMonitor::CPgMonitor(IMonitorHost* host) : ui::Dialog(IDD_PG_MONITOR), m_pHost(host) {}

void CPgMonitor::BindControls() {
    m_btnOnOff.Attach(Item(IDC_MON_ONOFF));
    m_led.Subclass(Item(IDC_MON_LED));
    m_cbInterval.Attach(Item(IDC_MON_INTERVAL));
    m_cbPosition.Attach(Item(IDC_MON_POSITION));
    m_chkRateOnly.Attach(Item(IDC_MON_RATEONLY));
    m_chkQuiet.Attach(Item(IDC_MON_QUIET));
    m_edMinStep.Attach(Item(IDC_MON_MINSTEP));
    for (const char* text : kIntervals) m_cbInterval.AddString(text);
    for (const char* text : kPositions) m_cbPosition.AddString(text);
}

bool CPgMonitor::OnInitDialog() {
    m_led.SetIcons(IDI_LED_OFF, IDI_LED_ON);
    // A stored index outside a list leaves it without a selection.
    m_cbInterval.SetCurSel(App().ReadSettingInt(kSection, "Interval", 0));
    m_cbPosition.SetCurSel(App().ReadSettingInt(kSection, "Position", 0));
    m_crUp = static_cast<COLORREF>(App().ReadSettingInt(kSection, "UpColor", static_cast<int>(kDefaultUp)));
    m_crDown = static_cast<COLORREF>(App().ReadSettingInt(kSection, "DownColor", static_cast<int>(kDefaultDown)));
    m_brUp.reset(CreateSolidBrush(m_crUp));
    m_brDown.reset(CreateSolidBrush(m_crDown));
    m_chkRateOnly.Send(BM_SETCHECK, App().ReadSettingInt(kSection, "bRateOnly", 0) ? BST_CHECKED : BST_UNCHECKED);
    m_chkQuiet.Send(BM_SETCHECK, App().ReadSettingInt(kSection, "bQuietFullScreen", 1) ? BST_CHECKED : BST_UNCHECKED);
    m_edMinStep.SetText(std::to_string(App().ReadSettingInt(kSection, "nMinStep", 0)));
    return true;
}

bool CPgMonitor::OnCommand(WORD id, WORD code, HWND control) {
    static const ui::CommandEntry<CPgMonitor> kCommands[] = {
        {IDC_MON_ONOFF, BN_CLICKED, &CPgMonitor::OnOnOff},
        {IDC_MON_UPCOLOR, BN_CLICKED, &CPgMonitor::OnUpColour},
        {IDC_MON_DOWNCOLOR, BN_CLICKED, &CPgMonitor::OnDownColour},
        // Enter and Esc on the page do nothing.
        {IDOK, BN_CLICKED, &CPgMonitor::OnNothing},
        {IDCANCEL, BN_CLICKED, &CPgMonitor::OnNothing},
    };
    return ui::Route(this, kCommands, id, code) || ui::Dialog::OnCommand(id, code, control);
}

bool CPgMonitor::OnMessage(UINT msg, WPARAM wp, LPARAM lp, INT_PTR* result) {
    static const ui::MessageEntry<CPgMonitor> kMessages[] = {
        {WM_PAINT, &CPgMonitor::OnPaint},
    };
    return ui::Route(this, kMessages, msg, wp, lp, result) || ui::Dialog::OnMessage(msg, wp, lp, result);
}

INT_PTR CPgMonitor::OnPaint(WPARAM, LPARAM) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd(), &ps);
    // The swatches, each framed by the default black pen, beside their
    // labels. Laid out in dialog units, so they stay beside the labels
    // whatever the dialog font: at the standard 8-point font they fall on
    // pixels (165, 47)-(200, 62) and (165, 72)-(200, 87).
    const ui::GdiObject<HBRUSH>* brushes[] = {&m_brUp, &m_brDown};
    RECT swatches[] = {{110, 29, 133, 38}, {110, 44, 133, 54}};
    for (int i = 0; i < 2; ++i) {
        MapDialogRect(hwnd(), &swatches[i]);
        ui::ScopedSelectObject brush(dc, brushes[i]->get());
        Rectangle(dc, swatches[i].left, swatches[i].top, swatches[i].right + 1, swatches[i].bottom + 1);
    }
    EndPaint(hwnd(), &ps);
    return TRUE;
}

void CPgMonitor::ChooseColour(COLORREF* colour, ui::GdiObject<HBRUSH>* brush) {
    static COLORREF custom[16] = {};
    CHOOSECOLORW cc{};
    cc.lStructSize = sizeof(cc);
    cc.hwndOwner = hwnd();
    cc.rgbResult = 0;  // always opens on black
    cc.lpCustColors = custom;
    cc.Flags = 0;
    if (!ChooseColorW(&cc)) return;
    *colour = cc.rgbResult;
    brush->reset(CreateSolidBrush(*colour));
    InvalidateRect(hwnd(), nullptr, TRUE);
}

void CPgMonitor::ShowSwitch(bool on) {
    m_btnOnOff.SetText(on ? "OFF" : "ON");
    bMonitorOn = on;
    m_led.SetState(on ? 1 : 0);
}

void CPgMonitor::OnOnOff() {
    const std::string caption = m_btnOnOff.Text();
    const int interval = m_cbInterval.GetCurSel();
    const int position = m_cbPosition.GetCurSel();
    const int rateOnly = m_chkRateOnly.Send(BM_GETCHECK) == BST_CHECKED ? 1 : 0;
    const int quiet = m_chkQuiet.Send(BM_GETCHECK) == BST_CHECKED ? 1 : 0;
    const HINSTANCE hInst = GetModuleHandleW(nullptr);
    IMonitorHost* host = m_pHost;

    if (caption == "ON") {
        const int currency1 = host->Currency1();
        const int currency2 = host->Currency2();
        if (currency1 < 0 || currency2 < 0) {
            App().DoMessageBox("通貨を選択してください", MB_OK | MB_ICONEXCLAMATION);
            return;
        }
        const std::optional<int> minStep = ReadWholeText(m_edMinStep.Text(), 0, kMinStepMax);
        if (!minStep) {
            App().DoMessageBox("表示する最小変化には0から9999までの整数を入力してください", MB_OK | MB_ICONEXCLAMATION);
            SetFocus(m_edMinStep.hwnd());
            m_edMinStep.Send(EM_SETSEL, 0, -1);
            return;
        }
        ShowSwitch(true);
        host->EnableMonitorButtons(true);
        App().WriteSettingInt(kSection, "Interval", interval);
        App().WriteSettingInt(kSection, "Position", position);
        App().WriteSettingInt(kSection, "bRateOnly", rateOnly);
        App().WriteSettingInt(kSection, "UpColor", static_cast<int>(m_crUp));
        App().WriteSettingInt(kSection, "DownColor", static_cast<int>(m_crDown));
        App().WriteSettingInt(kSection, "bQuietFullScreen", quiet);
        App().WriteSettingInt(kSection, "nMinStep", *minStep);

        // The first switch-on (or the first after a failed one) sets the
        // window up and stays in its loop; later ones only reconfigure.
        OSDwnd* osd = TheOSDwnd();
        if (!osd) {
            SetTheOSDwnd(std::make_unique<OSDwnd>(ReadServiceSettings()));
            osd = TheOSDwnd();
        }
        osd->SetQuietOverFullScreen(quiet != 0);
        osd->SetMinStep(*minStep);
        const bool first = !osd->IsCreated();
        const int created =
            osd->Create(hInst, currency1, currency2, interval, position, m_crUp, m_crDown, rateOnly, host);
        if (!first) return;
        if (created) {
            // Serves every window of the thread until the program ends; the
            // page may be gone by the time it returns.
            osd->Run();
            return;
        }
        App().DoMessageBox("OSDwndの作成に失敗しました!", MB_OK | MB_ICONEXCLAMATION);
        // Nothing runs: show the switch as off, so the next press tries again
        // from the start.
        ShowSwitch(false);
        host->EnableMonitorButtons(false);
        return;
    }

    ShowSwitch(false);
    host->CloseChart();
    host->EnableMonitorButtons(false);
    if (OSDwnd* osd = TheOSDwnd())
        osd->Create(hInst, host->Currency1(), host->Currency2(), interval, position, m_crUp, m_crDown, rateOnly,
                    host);
}
