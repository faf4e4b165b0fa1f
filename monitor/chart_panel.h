// The chart panel: a small window that slides out of the main dialog's right
// edge and draws the recent polled rates with the alarm limits.
#pragma once

#include <cstdint>
#include <memory>

#include "ui/dialog.h"

// The notification an owner gets when Enter or Escape is pressed in the panel.
constexpr UINT WM_SLIDE_KEY = WM_USER + 5;

// A dialog that animates itself out from behind its owner and back.
class CSlidingDialog : public ui::Dialog {
public:
    CSlidingDialog(int templateId, HWND owner);

    // Beside the owner's right edge again, after the owner moved. Returns 1.
    int FollowParent();
    // The animations block the calling thread for their whole length. Return 1.
    int SlideOut();
    int SlideIn();

    int m_nSide = 1;  // 1: right of the owner, 0: left
    RECT m_rcParent{};
    RECT m_rcSelf{};
    HWND m_pParent;
    uint32_t m_nDelayMs = 12;  // between two steps

protected:
    bool OnCommand(WORD id, WORD code, HWND control) override;
};

class CSlide : public CSlidingDialog {
public:
    explicit CSlide(HWND owner);

    double m_dStep = 0.0;  // pixels between two samples

protected:
    bool OnInitDialog() override;
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, INT_PTR* result) override;

private:
    INT_PTR OnCtlColorDlg(WPARAM wp, LPARAM lp);
    INT_PTR OnPaint(WPARAM wp, LPARAM lp);
    INT_PTR OnDpiChanged(WPARAM wp, LPARAM lp);
};

// Creates the panel for owner and slides it out, as the main dialog's chart
// button does; null when its window cannot be created.
std::unique_ptr<CSlide> OpenChartPanel(HWND owner);
