// Excel page: batch conversion of currency pairs in a workbook sheet. The
// page keeps no state of its own: every value is read from its controls
// when it is needed.
#pragma once

#include <string>

#include "resources/resource.h"
#include "ui/dialog.h"
#include "ui/window.h"

class CMainDlg;

class CPgExcel : public ui::Dialog {
public:
    explicit CPgExcel(CMainDlg* mainDlg) : ui::Dialog(IDD_PG_EXCEL), m_pMainDlg(mainDlg) {}
    ~CPgExcel() override;

    CMainDlg* mainDlg() const { return m_pMainDlg; }

protected:
    void BindControls() override;
    bool OnInitDialog() override;
    bool OnCommand(WORD id, WORD code, HWND control) override;
    bool OnNotify(NMHDR* header, LRESULT* result) override;

private:
    void OnOK() {}
    void OnCancel() {}
    void OnBrowse();
    void OnImport();  // excel_import.cpp
    LRESULT OnToolTipText(NMHDR* header);
    void EnableToolTips();
    void SaveSettings() const;
    // The spin control's whole report: position in the low word, an error
    // flag in the high word.
    LRESULT SpinReport() const;

    CMainDlg* m_pMainDlg;
    HWND m_hToolTip = nullptr;
    ui::Edit m_edPath;
    ui::Edit m_edReadFrom;
    ui::Edit m_edReadTo;
    ui::Edit m_edWriteFrom;
    ui::Edit m_edWriteTo;
    ui::Edit m_edSheetNo;
    ui::Window m_spinSheet;
    ui::Window m_progress;
};
