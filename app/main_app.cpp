#include "app/main_app.h"

#include <commctrl.h>
#include <ole2.h>

#include "app/main_dlg.h"
#include "ui/file_win.h"
#include "ui/text.h"

namespace {

constexpr wchar_t kCompanyKey[] = L"Morvast";
constexpr wchar_t kInstanceMutex[] = L"E67DC182-3EDF-4535-A566-2C676BAC42D1";

}  // namespace

CMainApp& App() {
    static CMainApp app;
    return app;
}

std::wstring ExecutableBaseName() {
    const std::wstring path = ui::ExecutablePath();
    if (path.empty()) return L"Zelvane";
    const size_t slash = path.find_last_of(L"\\/");
    std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    const size_t dot = name.find_last_of(L'.');
    if (dot != std::wstring::npos && dot != 0) name.resize(dot);
    return name;
}

UINT MessageBoxStyle(UINT type) {
    const UINT buttons = type & MB_TYPEMASK;
    const bool plainButtons = buttons == MB_OK || buttons == MB_OKCANCEL || buttons == MB_YESNO ||
                              buttons == MB_YESNOCANCEL;
    if ((type & MB_ICONMASK) == 0 && plainButtons) type |= MB_ICONEXCLAMATION;
    return type;
}

int CMainApp::DoMessageBox(const std::string& textUtf8, UINT type) const {
    HWND owner = m_pMainWnd ? m_pMainWnd->hwnd() : nullptr;
    if (owner && !IsWindowVisible(owner)) owner = nullptr;
    const std::wstring caption = m_appName.empty() ? ExecutableBaseName() : m_appName;
    return ::MessageBoxW(owner, ui::Widen(textUtf8).c_str(), caption.c_str(), MessageBoxStyle(type));
}

bool CMainApp::InitInstance() {
    InitCommonControls();
    m_appName = ExecutableBaseName();

    if (FAILED(OleInitialize(nullptr))) {
        DoMessageBox("Cannot initialize COM dll", MB_OK);
        return false;
    }
    // OLE controls in dialogs need no set-up of their own here: the dialogs
    // host only standard and common controls.

    m_settings.SetCompany(kCompanyKey);
    m_settings.SetApplication(m_appName);

    // The handle is deliberately never closed: the name stays taken until the
    // process ends. A second copy ends silently and leaves the first alone.
    HANDLE mutex = CreateMutexW(nullptr, FALSE, kInstanceMutex);
    if (mutex) {
        const DWORD error = GetLastError();
        ReleaseMutex(mutex);
        if (error == ERROR_ALREADY_EXISTS) {
            OleUninitialize();
            return false;
        }
    }

    {
        CMainDlg dlg;
        m_pMainWnd = &dlg;
        dlg.DoModal(nullptr);
        m_pMainWnd = nullptr;
    }
    OleUninitialize();
    return false;
}
