// Alarm settings page: upper and lower limits with their sounds, and the
// alarm switch.
#pragma once

#include "controls/led_button.h"
#include "resources/resource.h"
#include "ui/dialog.h"
#include "ui/window.h"

class CMainDlg;

class CPgAlarm : public ui::Dialog {
public:
    explicit CPgAlarm(CMainDlg* mainDlg) : ui::Dialog(IDD_PG_ALARM), m_pMainDlg(mainDlg) {}

    CMainDlg* mainDlg() const { return m_pMainDlg; }

protected:
    void BindControls() override;
    bool OnInitDialog() override;
    bool OnCommand(WORD id, WORD code, HWND control) override;
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, INT_PTR* result) override;

private:
    // Enter and Escape on the page do nothing.
    void OnOK() {}
    void OnCancel() {}
    void OnCheckHigh();
    void OnCheckLow();
    void OnCheckRules() { EnableLimitControls(); }
    void OnSoundHigh();
    void OnSoundLow();
    void OnSwitch();
    void OnLimitKillFocus();
    INT_PTR OnRefocus(WPARAM wp, LPARAM lp);

    // Both fields into the limits in force, upper first; stops at the first
    // refused field (message, focus back, text selected). True when both read.
    bool ReadLimits();
    bool ReadLimit(ui::Edit& field, double& limit);
    void EnableLimitControls();
    void SwitchOn();
    // The once-per-crossing margin and the move alert's percent and minutes,
    // where their boxes are ticked; false after the message for a refused one.
    bool ReadRules(double* margin, double* percent, int* minutes);
    void SwitchOff();

    CMainDlg* m_pMainDlg;
    ui::Button m_chkHigh;
    ui::Edit m_edHigh;
    ui::Button m_btnSoundHigh;
    ui::Button m_chkLow;
    ui::Edit m_edLow;
    ui::Button m_btnSoundLow;
    ui::Button m_chkOnce;
    ui::Edit m_edMargin;
    ui::Button m_chkMove;
    ui::Edit m_edMovePercent;
    ui::Edit m_edMoveMinutes;
    ui::Button m_btnSwitch;
    CLedButton m_led;
    // Set while a reading runs and until a refused field has the focus back:
    // the message box and the focus moves take the focus from the fields
    // again, which must not start another reading (and another box).
    bool m_bReading = false;
    HWND m_hRefused = nullptr;
};
