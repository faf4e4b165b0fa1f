// Excel page: batch conversion of currency pairs in a workbook sheet.
#pragma once

#include "resources/resource.h"
#include "ui/dialog.h"

class CMainDlg;

class CPgExcel : public ui::Dialog {
public:
    explicit CPgExcel(CMainDlg* mainDlg) : ui::Dialog(IDD_PG_EXCEL), m_pMainDlg(mainDlg) {}

    CMainDlg* mainDlg() const { return m_pMainDlg; }

private:
    CMainDlg* m_pMainDlg;
};
