#include "ratelog/pg_log.h"

#include <shlobj.h>

#include <memory>

#include "app/main_app.h"
#include "ratelog/pg_log_res.h"
#include "ratelog/rate_log.h"
#include "ui/text.h"

namespace {

constexpr char kSection[] = "Log";
constexpr char kOn[] = "ON";    // caption while logging is off
constexpr char kOff[] = "OFF";  // caption while it is on

struct RadioGroup {
    int first;
    int count;
};
constexpr RadioGroup kDateGroup{IDC_LOG_DATE_SLASH_YY, 4};
constexpr RadioGroup kTimeGroup{IDC_LOG_TIME_COLON, 3};
constexpr RadioGroup kDelimiterGroup{IDC_LOG_DELIM_SPACE, 3};

void SetGroup(HWND page, RadioGroup group, int index) {
    // An index outside the group leaves none of its buttons selected.
    for (int i = 0; i < group.count; ++i)
        CheckDlgButton(page, group.first + i, i == index ? BST_CHECKED : BST_UNCHECKED);
}

int ReadGroup(HWND page, RadioGroup group) {
    for (int i = 0; i < group.count; ++i)
        if (IsDlgButtonChecked(page, group.first + i) == BST_CHECKED) return i;
    return -1;
}

struct TaskMemFree {
    void operator()(ITEMIDLIST* p) const { CoTaskMemFree(p); }
};

// Opens the browser's tree at the folder it was given. Expanding alone
// leaves the selection at the top on some shells (Wine's), and OK then
// answers with another folder than the one shown: select it as well.
int CALLBACK BrowseCallback(HWND browser, UINT msg, LPARAM, LPARAM startFolder) {
    if (msg == BFFM_INITIALIZED && startFolder) {
        SendMessageW(browser, BFFM_SETEXPANDED, TRUE, startFolder);
        SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, startFolder);
    }
    return 0;
}

}  // namespace

void CPgLog::BindControls() {
    m_btnSwitch.Attach(Item(IDC_LOG_SWITCH));
    m_led.Subclass(Item(IDC_LOG_LED));
}

bool CPgLog::OnInitDialog() {
    m_led.SetIcons(IDI_LED_OFF, IDI_LED_ON);
    const CMainApp& app = App();
    m_nDateFormat = app.ReadSettingInt(kSection, "DateFormat", 0);
    m_nTimeFormat = app.ReadSettingInt(kSection, "TimeFormat", 0);
    m_nDelimiter = app.ReadSettingInt(kSection, "Delimiter", 0);
    LogState.FolderPath = app.ReadSettingString(kSection, "FolderPath");
    SetRadios();
    return true;
}

bool CPgLog::OnCommand(WORD id, WORD code, HWND control) {
    static const ui::CommandEntry<CPgLog> kCommands[] = {
        {IDOK, BN_CLICKED, &CPgLog::OnOK},
        {IDCANCEL, BN_CLICKED, &CPgLog::OnCancel},
        {IDC_LOG_FOLDER, BN_CLICKED, &CPgLog::OnFolder},
        {IDC_LOG_SWITCH, BN_CLICKED, &CPgLog::OnSwitch},
    };
    return ui::Route(this, kCommands, id, code) || ui::Dialog::OnCommand(id, code, control);
}

void CPgLog::SetRadios() {
    SetGroup(hwnd(), kDateGroup, m_nDateFormat);
    SetGroup(hwnd(), kTimeGroup, m_nTimeFormat);
    SetGroup(hwnd(), kDelimiterGroup, m_nDelimiter);
}

void CPgLog::ReadRadios() {
    m_nDateFormat = ReadGroup(hwnd(), kDateGroup);
    m_nTimeFormat = ReadGroup(hwnd(), kTimeGroup);
    m_nDelimiter = ReadGroup(hwnd(), kDelimiterGroup);
}

void CPgLog::OnFolder() {
    wchar_t title[256] = {};
    LoadStringW(GetModuleHandleW(nullptr), IDS_LOG_FOLDER_TITLE, title, 256);
    // The browser starts at the current folder when that is a usable path;
    // a stored folder too long for the platform just starts it at the top.
    const std::wstring start = ui::Widen(LogState.FolderPath);
    const bool startUsable = !start.empty() && start.size() < MAX_PATH;

    BROWSEINFOW bi = {};
    bi.hwndOwner = hwnd();
    bi.lpszTitle = title;
    bi.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    bi.lpfn = &BrowseCallback;
    bi.lParam = startUsable ? reinterpret_cast<LPARAM>(start.c_str()) : 0;
    const std::unique_ptr<ITEMIDLIST, TaskMemFree> picked(SHBrowseForFolderW(&bi));
    if (!picked) return;

    wchar_t path[MAX_PATH] = {};
    if (!SHGetPathFromIDListW(picked.get(), path)) return;  // not a file-system folder
    // Used by the next line written, even while logging is on; saved at the
    // next switch-on.
    LogState.FolderPath = ui::Narrow(path) + "\\";
}

void CPgLog::OnSwitch() {
    if (m_btnSwitch.Text() != kOn) {
        // Off: nothing is saved.
        m_btnSwitch.SetText(kOn);
        LogState.bLogOn = false;
        m_led.SetState(0);
        return;
    }
    // On, with no test of any kind.
    m_btnSwitch.SetText(kOff);
    LogState.bLogOn = true;
    m_led.SetState(1);
    ReadRadios();
    LogState.LogStampFormat = LogStampFormatFor(m_nDateFormat, m_nTimeFormat, m_nDelimiter);

    const CMainApp& app = App();
    app.WriteSettingInt(kSection, "DateFormat", m_nDateFormat);
    app.WriteSettingInt(kSection, "TimeFormat", m_nTimeFormat);
    app.WriteSettingInt(kSection, "Delimiter", m_nDelimiter);
    app.WriteSettingString(kSection, "FolderPath", LogState.FolderPath.c_str());
}
