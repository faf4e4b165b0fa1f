// Settings in the per-user registry:
// HKEY_CURRENT_USER\software\<company>\<application>\<section>\<key>.
// Every operation opens the keys it needs (creating missing ones, reads
// included) and closes them again before it returns; nothing is cached.
#pragma once

#include <string>

class SettingsStore {
public:
    SettingsStore() = default;
    SettingsStore(std::wstring company, std::wstring application)
        : company_(std::move(company)), application_(std::move(application)) {}

    void SetCompany(std::wstring company) { company_ = std::move(company); }
    void SetApplication(std::wstring application) { application_ = std::move(application); }
    const std::wstring& company() const { return company_; }
    const std::wstring& application() const { return application_; }

    // The stored DWORD, or def when the key or the value cannot be read.
    int ReadSettingInt(const char* section, const char* key, int def) const;
    bool WriteSettingInt(const char* section, const char* key, int value) const;
    // The stored text (UTF-8), or def (none reads as the empty text).
    std::string ReadSettingString(const char* section, const char* key, const char* def = nullptr) const;
    // A null text deletes the value.
    bool WriteSettingString(const char* section, const char* key, const char* text) const;

private:
    std::wstring company_;
    std::wstring application_;
};
