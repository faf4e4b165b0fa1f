// Monitor page: interval, position, colours and the monitor switch. The
// first switch-on creates the on-screen window and runs its message loop
// inside the button handler until the program ends.
#pragma once

#include "controls/led_button.h"
#include "monitor/monitor_host.h"
#include "resources/resource.h"
#include "ui/dialog.h"
#include "ui/gdi.h"
#include "ui/window.h"

class CPgMonitor : public ui::Dialog {
public:
    explicit CPgMonitor(IMonitorHost* host);

protected:
    void BindControls() override;
    bool OnInitDialog() override;
    bool OnCommand(WORD id, WORD code, HWND control) override;
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, INT_PTR* result) override;

private:
    void OnOnOff();
    void OnUpColour() { ChooseColour(&m_crUp, &m_brUp); }
    void OnDownColour() { ChooseColour(&m_crDown, &m_brDown); }
    void OnNothing() {}
    INT_PTR OnPaint(WPARAM wp, LPARAM lp);
    void ChooseColour(COLORREF* colour, ui::GdiObject<HBRUSH>* brush);
    // The switch's caption and LED, and bMonitorOn.
    void ShowSwitch(bool on);

    IMonitorHost* m_pHost;
    ui::GdiObject<HBRUSH> m_brUp;
    ui::GdiObject<HBRUSH> m_brDown;
    COLORREF m_crUp = 0;
    COLORREF m_crDown = 0;
    ui::Button m_btnOnOff;
    CLedButton m_led;
    ui::ComboBox m_cbInterval;
    ui::ComboBox m_cbPosition;
    ui::Button m_chkRateOnly;
    ui::Button m_chkQuiet;  // no pop-up over full-screen programs
    ui::Edit m_edMinStep;   // smallest change shown, in units of the fourth decimal
};
