// The sound chooser: picks the WAV file of one alarm limit and plays it.
#pragma once

#include <string>

#include "resources/resource.h"
#include "ui/dialog.h"
#include "ui/window.h"

class CPgAlarm;

// Stands in the field, and in the working path, while no file is chosen.
inline constexpr char kSoundPlaceholder[] = "右のボタンを押してください";

class CSoundDlg : public ui::Dialog {
public:
    // high: the chooser serves the upper limit, else the lower one.
    CSoundDlg(CPgAlarm* page, bool high) : ui::Dialog(IDD_SOUND), m_pPage(page), m_bHigh(high) {}

protected:
    void BindControls() override;
    bool OnInitDialog() override;
    bool OnCommand(WORD id, WORD code, HWND control) override;

private:
    void OnSelect();
    void OnPlay();
    void OnOK();
    std::string& LimitPath() const;
    void ChooseMessage() const;

    CPgAlarm* m_pPage;
    bool m_bHigh;
    // The file shown in the field; OK hands it to the alarm state.
    std::string m_strWorkingPath;
    ui::Edit m_edPath;
    ui::Button m_btnPlay;
};
