// Log settings page: stamp format, separator and folder of the rate log, and
// the log switch.
#pragma once

#include "controls/led_button.h"
#include "resources/resource.h"
#include "ui/dialog.h"
#include "ui/window.h"

class CMainDlg;

class CPgLog : public ui::Dialog {
public:
    explicit CPgLog(CMainDlg* mainDlg) : ui::Dialog(IDD_PG_LOG), m_pMainDlg(mainDlg) {}

    CMainDlg* mainDlg() const { return m_pMainDlg; }

protected:
    void BindControls() override;
    bool OnInitDialog() override;
    bool OnCommand(WORD id, WORD code, HWND control) override;

private:
    // Enter and Escape on the page do nothing.
    void OnOK() {}
    void OnCancel() {}
    void OnFolder();
    void OnSwitch();

    // The radio groups to and from the three indices; -1 when no button of a
    // group is selected.
    void SetRadios();
    void ReadRadios();

    CMainDlg* m_pMainDlg;
    ui::Button m_btnSwitch;
    CLedButton m_led;
    int m_nDateFormat = 0;
    int m_nTimeFormat = 0;
    int m_nDelimiter = 0;
};
