// Alarm settings page: upper and lower limits with their sounds.
#pragma once

#include "resources/resource.h"
#include "ui/dialog.h"

class CMainDlg;

class CPgAlarm : public ui::Dialog {
public:
    explicit CPgAlarm(CMainDlg* mainDlg) : ui::Dialog(IDD_PG_ALARM), m_pMainDlg(mainDlg) {}

    CMainDlg* mainDlg() const { return m_pMainDlg; }

private:
    CMainDlg* m_pMainDlg;
};
