// The application object: start-up, the single-instance guard, the settings
// store and the one message-box service every message goes through.
#pragma once

#include <windows.h>

#include <string>

#include "app/settings_store.h"

class CMainDlg;

class CMainApp {
public:
    CMainApp() = default;

    // Runs the program; returns when the main dialog's modal run has ended.
    // Returns false in every case, like an application whose work is done.
    bool InitInstance();

    // Caption = application name. A request with no icon and one of the
    // OK, OK/Cancel, Yes/No or Yes/No/Cancel button sets gets the
    // exclamation icon.
    int DoMessageBox(const std::string& textUtf8, UINT type = MB_OK) const;

    int ReadSettingInt(const char* section, const char* key, int def) const {
        return m_settings.ReadSettingInt(section, key, def);
    }
    bool WriteSettingInt(const char* section, const char* key, int value) const {
        return m_settings.WriteSettingInt(section, key, value);
    }
    std::string ReadSettingString(const char* section, const char* key, const char* def = nullptr) const {
        return m_settings.ReadSettingString(section, key, def);
    }
    bool WriteSettingString(const char* section, const char* key, const char* text) const {
        return m_settings.WriteSettingString(section, key, text);
    }

    const std::wstring& appName() const { return m_appName; }
    CMainDlg* mainWnd() const { return m_pMainWnd; }

private:
    std::wstring m_appName;  // the executable's file name without extension
    SettingsStore m_settings;
    CMainDlg* m_pMainWnd = nullptr;
};

// The one application object of the process.
CMainApp& App();

// The executable's base name without its extension ("Zelvane").
std::wstring ExecutableBaseName();

// The message-box rule, separate so it can be checked on its own.
UINT MessageBoxStyle(UINT type);
