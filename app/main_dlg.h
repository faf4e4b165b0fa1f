// The main dialog: the currency pickers, GET and the rate field, the tab
// control with the four settings pages, and the exit, hide and chart buttons.
#pragma once

#include <memory>

#include "monitor/monitor_host.h"
#include "ui/dialog.h"
#include "ui/window.h"

class CPgMonitor;
class CPgAlarm;
class CPgExcel;
class CPgLog;
class CSlide;

class CMainDlg : public ui::Dialog, public IMonitorHost {
public:
    CMainDlg();
    ~CMainDlg() override;

    // Destroys an open chart panel at once, without the slide (program end).
    void DestroyChart();

    // The monitor's view of the dialog.
    HWND HostWindow() const override { return hwnd(); }
    void OnMonitorDestroyed() override;
    int Currency1() const override { return m_cbCurrency1.GetCurSel(); }
    int Currency2() const override { return m_cbCurrency2.GetCurSel(); }
    void EnableMonitorButtons(bool on) override;
    void CloseChart() override;

protected:
    bool OnCommand(WORD id, WORD code, HWND control) override;
    void BindControls() override;
    bool OnInitDialog() override;
    bool OnNotify(NMHDR* header, LRESULT* result) override;
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, INT_PTR* result) override;

private:
    void OnGet();
    void OnExit();
    void OnHide();
    void OnChart();
    void OnAbout();
    LRESULT OnTabSelChange(NMHDR* header);
    INT_PTR OnSysCommand(WPARAM wp, LPARAM lp);
    INT_PTR OnPaint(WPARAM wp, LPARAM lp);
    INT_PTR OnQueryDragIcon(WPARAM wp, LPARAM lp);
    INT_PTR OnMove(WPARAM wp, LPARAM lp);
    INT_PTR OnClose(WPARAM wp, LPARAM lp);
    INT_PTR OnChartKey(WPARAM wp, LPARAM lp);
    INT_PTR OnCreateHiddenPages(WPARAM wp, LPARAM lp);
    INT_PTR OnNextDlgCtl(WPARAM wp, LPARAM lp);
    INT_PTR OnDpiChanged(WPARAM wp, LPARAM lp);
    INT_PTR OnPlacePages(WPARAM wp, LPARAM lp);

    void ShowPage(int tab);
    void CreatePage(int tab);
    ui::Dialog* Page(int tab) const;

    int m_bChartOpen = 0;
    std::unique_ptr<CSlide> m_pChart;
    std::unique_ptr<CPgMonitor> m_pPgMonitor;
    std::unique_ptr<CPgAlarm> m_pPgAlarm;
    std::unique_ptr<CPgExcel> m_pPgExcel;
    std::unique_ptr<CPgLog> m_pPgLog;
    HICON m_hIcon = nullptr;
    ui::Edit m_edRate;
    ui::ComboBox m_cbCurrency1;
    ui::ComboBox m_cbCurrency2;
    ui::Button m_btnChart;
    ui::TabCtrl m_tab;
    ui::Button m_btnHide;
};
