#include "alarm/sound_dlg.h"

#include <commdlg.h>

#include "alarm/alarm_state.h"
#include "alarm/pg_alarm_res.h"
#include "alarm/sound_file.h"
#include "app/main_app.h"
#include "ui/text.h"

void CSoundDlg::BindControls() {
    m_edPath.Attach(Item(IDC_SOUND_PATH));
    m_btnPlay.Attach(Item(IDC_SOUND_PLAY));
}

std::string& CSoundDlg::LimitPath() const { return m_bHigh ? AlarmState.SoundPathHigh : AlarmState.SoundPathLow; }

bool CSoundDlg::OnInitDialog() {
    m_strWorkingPath = LimitPath().empty() ? std::string(kSoundPlaceholder) : LimitPath();
    m_edPath.SetText(m_strWorkingPath);
    // The template enables play already; a file that has gone is found out
    // when play is pressed.
    if (CanOpenForReading(m_strWorkingPath)) m_btnPlay.Enable(true);
    return true;
}

bool CSoundDlg::OnCommand(WORD id, WORD code, HWND control) {
    static const ui::CommandEntry<CSoundDlg> kCommands[] = {
        {IDC_SOUND_SELECT, BN_CLICKED, &CSoundDlg::OnSelect},
        {IDC_SOUND_PLAY, BN_CLICKED, &CSoundDlg::OnPlay},
        {IDOK, BN_CLICKED, &CSoundDlg::OnOK},
    };
    return ui::Route(this, kCommands, id, code) || ui::Dialog::OnCommand(id, code, control);
}

void CSoundDlg::ChooseMessage() const {
    // A plain box owned by the chooser: no icon.
    MessageBoxW(hwnd(), L"サウンドファイルを選択してください", App().appName().c_str(), MB_OK);
}

void CSoundDlg::OnSelect() {
    wchar_t file[MAX_PATH] = {};
    std::wstring initialDir;
    wchar_t windowsDir[MAX_PATH] = {};
    const UINT n = GetWindowsDirectoryW(windowsDir, MAX_PATH);
    if (n > 0 && n < MAX_PATH) initialDir = std::wstring(windowsDir, n) + L"\\media\\";

    OPENFILENAMEW ofn = {};
    // The layout without the trailing reserved members.
    ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400W;
    ofn.hwndOwner = hwnd();
    ofn.lpstrFilter = L"WAV Files\0*.wav\0All Files\0*.*\0";
    ofn.nFilterIndex = 0;
    ofn.lpstrFile = file;
    ofn.nMaxFile = MAX_PATH;
    ofn.lpstrInitialDir = initialDir.empty() ? nullptr : initialDir.c_str();
    ofn.lpstrTitle = L"鳴らす音を選択してください";
    ofn.Flags = OFN_LONGNAMES | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST;
    if (!GetOpenFileNameW(&ofn)) return;  // cancelled: nothing changes

    m_strWorkingPath = ui::Narrow(file);
    m_edPath.SetText(m_strWorkingPath);
    m_btnPlay.Enable(CanOpenForReading(m_strWorkingPath));
}

void CSoundDlg::OnPlay() {
    if (CanOpenForReading(m_strWorkingPath)) {
        PlaySoundFile(m_strWorkingPath);
    } else {
        ChooseMessage();
    }
}

void CSoundDlg::OnOK() {
    // Only the placeholder is refused; a saved file that has gone since is
    // kept as it is.
    if (m_strWorkingPath == kSoundPlaceholder) {
        ChooseMessage();
        return;
    }
    LimitPath() = m_strWorkingPath;
    EndDialog(IDOK);
}
