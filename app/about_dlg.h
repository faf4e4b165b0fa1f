// The About box: product name and version, the maker's web address as a
// link, and the button that runs the self-update.
#pragma once

#include "controls/gradient_static.h"
#include "controls/link_static.h"
#include "ui/dialog.h"

class CAboutDlg : public ui::Dialog {
public:
    CAboutDlg();

protected:
    void BindControls() override;
    bool OnInitDialog() override;
    bool OnCommand(WORD id, WORD code, HWND control) override;

private:
    void OnUpdateCheck();
    // The update's outcome, told to the user (nothing when they declined).
    void ShowUpdateResult(int code);
    int MessageBox(const std::string& textUtf8, UINT type) const;

    CLinkStatic m_link;
    CGradientStatic m_caption;
};
