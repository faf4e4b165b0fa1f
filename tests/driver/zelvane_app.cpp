#include "tests/driver/zelvane_app.h"

#include "tests/driver/window_query.h"
#include "tests/driver/wine_path.h"

namespace driver::zelvane {

std::wstring SectionKey(const wchar_t* section) { return std::wstring(kSettingsKey) + L"\\" + section; }

std::wstring ExecutablePath() { return ToWindowsPath(EnvVar(L"ZELVANE_EXE")); }

bool AnyCopyRunning() {
    HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, kInstanceMutex);
    if (!mutex) return false;
    CloseHandle(mutex);
    return true;
}

bool App::Launch(const std::wstring& exe) {
    main_ = nullptr;
    if (exe.empty()) {
        error_ = "no executable (is ZELVANE_EXE set?)";
        return false;
    }
    if (!process_.Start(exe)) {
        error_ = "CreateProcess failed with error " + std::to_string(process_.lastError());
        return false;
    }
    return true;
}

bool App::Start(const std::wstring& exe) {
    if (!Launch(exe)) return false;
    main_ = WaitForTopLevel(process_.pid(), kDialogClass, kMainCaption);
    if (!main_) {
        error_ = process_.IsRunning() ? "no main dialog within the time-out" : "the program ended before its dialog";
        return false;
    }
    // The hidden pages are built just after the dialog first paints. Wine's
    // WaitForInputIdle can come back before that message is taken, so wait
    // for the four pages themselves too.
    if (WaitForInputIdle(process_.handle(), static_cast<DWORD>(kWindowTimeout.count())) != 0 ||
        !WaitUntil([&] { return Pages().size() == 4; }, kWindowTimeout)) {
        error_ = "the program did not become ready for input";
        return false;
    }
    return true;
}

std::vector<HWND> App::Pages() const {
    std::vector<HWND> pages;
    for (HWND child : ChildWindows(Control(kIdTab)))
        if (ClassName(child) == kDialogClass) pages.push_back(child);
    return pages;
}

std::vector<HWND> App::VisiblePages() const {
    std::vector<HWND> visible;
    for (HWND page : Pages())
        if (IsWindowVisible(page)) visible.push_back(page);
    return visible;
}

HWND App::PageWith(int controlId) const {
    for (HWND page : Pages())
        if (GetDlgItem(page, controlId)) return page;
    return nullptr;
}

HWND App::OsdWindow() const { return FindTopLevel(process_.pid(), kOsdClass, nullptr, false); }

}  // namespace driver::zelvane
