// Zelvane as its user meets it: the program's names, ids and settings key as
// seen from outside, and a running copy with its main dialog. The ids are
// written down here on their own rather than taken from the program's
// headers, so a wrong id in the program shows up as a failing test.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "tests/driver/app_process.h"

namespace driver::zelvane {

constexpr wchar_t kMainCaption[] = L"Kesuna";
constexpr wchar_t kDialogClass[] = L"#32770";
// Message boxes carry the executable's base name.
constexpr wchar_t kAppName[] = L"Zelvane";
constexpr wchar_t kInstanceMutex[] = L"E67DC182-3EDF-4535-A566-2C676BAC42D1";
constexpr wchar_t kSettingsKey[] = L"software\\Morvast\\Zelvane";

// Main dialog controls.
constexpr int kIdGet = IDOK;
constexpr int kIdCurrency1 = 1001;
constexpr int kIdCurrency2 = 1002;
constexpr int kIdRate = 1003;
constexpr int kIdExit = 1006;
constexpr int kIdChart = 1019;
constexpr int kIdTab = 1022;
constexpr int kIdHide = 1023;

// The monitor page's controls.
constexpr int kIdMonitorOnOff = 1006;
constexpr int kIdMonitorLed = 1025;
constexpr int kIdInterval = 1040;
constexpr int kIdUpColour = 1041;
constexpr int kIdDownColour = 1042;
constexpr int kIdPosition = 1043;
constexpr int kIdRateOnly = 1048;

// The on-screen rate window and its tray icon.
constexpr wchar_t kOsdClass[] = L"981B9D25-540B-47b7-B36F-CD3CA21BEEB3";
constexpr UINT kTrayCallback = 0x812C;
constexpr UINT kTrayIconId = 131;

// Tabs of the main dialog, in their order.
enum Tab { kTabMonitor = 0, kTabAlarm = 1, kTabLog = 2, kTabExcel = 3, kTabCount = 4 };

constexpr int kCurrencyCount = 151;
constexpr int kDefaultCurrency1 = 138;  // USD
constexpr int kDefaultCurrency2 = 61;   // JPY

// software\Morvast\Zelvane\<section>
std::wstring SectionKey(const wchar_t* section);
// Zelvane.exe as named by the build (environment variable ZELVANE_EXE), as
// a Windows path; empty when the variable is not set.
std::wstring ExecutablePath();
// Some copy of the program holds the single-instance mutex.
bool AnyCopyRunning();

// One running copy of the program. Ends it (killing it if need be) when
// destroyed.
class App {
public:
    // Starts the program (by default the build's Zelvane.exe) and waits
    // until its main dialog is visible. On failure error() says why.
    bool Start(const std::wstring& exe = ExecutablePath());
    // Starts a copy without waiting for any window.
    bool Launch(const std::wstring& exe = ExecutablePath());

    AppProcess& process() { return process_; }
    DWORD pid() const { return process_.pid(); }
    const std::string& error() const { return error_; }

    HWND mainDialog() const { return main_; }
    HWND Control(int id) const { return GetDlgItem(main_, id); }
    // The tab control's pages (child dialogs), hidden ones included.
    std::vector<HWND> Pages() const;
    std::vector<HWND> VisiblePages() const;
    // The page that holds the control with this id, hidden or not.
    HWND PageWith(int controlId) const;
    // The on-screen rate window, hidden or not; null before the first switch-on.
    HWND OsdWindow() const;

private:
    AppProcess process_;
    HWND main_ = nullptr;
    std::string error_;
};

}  // namespace driver::zelvane
