// Monitor settings page: interval, position, colours and the monitor switch.
#pragma once

#include "resources/resource.h"
#include "ui/dialog.h"

class CMainDlg;

class CPgMonitor : public ui::Dialog {
public:
    explicit CPgMonitor(CMainDlg* mainDlg) : ui::Dialog(IDD_PG_MONITOR), m_pMainDlg(mainDlg) {}

    CMainDlg* mainDlg() const { return m_pMainDlg; }

private:
    CMainDlg* m_pMainDlg;
};
