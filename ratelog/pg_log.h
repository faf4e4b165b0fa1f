// Log settings page: stamp format, separator and folder of the rate log.
#pragma once

#include "resources/resource.h"
#include "ui/dialog.h"

class CMainDlg;

class CPgLog : public ui::Dialog {
public:
    explicit CPgLog(CMainDlg* mainDlg) : ui::Dialog(IDD_PG_LOG), m_pMainDlg(mainDlg) {}

    CMainDlg* mainDlg() const { return m_pMainDlg; }

private:
    CMainDlg* m_pMainDlg;
};
