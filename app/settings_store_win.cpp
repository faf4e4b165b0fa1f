#include "app/settings_store.h"

#include <windows.h>

#include <vector>

#include "ui/text.h"

namespace {

// An open registry key that closes itself on every path.
class RegKey {
public:
    RegKey() = default;
    ~RegKey() {
        if (key_) RegCloseKey(key_);
    }
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;
    HKEY* put() { return &key_; }
    HKEY get() const { return key_; }
    explicit operator bool() const { return key_ != nullptr; }

private:
    HKEY key_ = nullptr;
};

constexpr REGSAM kAccess = KEY_READ | KEY_CREATE_SUB_KEY | KEY_SET_VALUE;

bool CreateChild(HKEY parent, const std::wstring& name, RegKey& child) {
    DWORD disposition = 0;
    return RegCreateKeyExW(parent, name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, kAccess, nullptr,
                           child.put(), &disposition) == ERROR_SUCCESS;
}

// software -> company -> application -> section, each opened (or created)
// below the one before with the same rights.
bool OpenSection(const std::wstring& company, const std::wstring& application, const char* section,
                 RegKey& sectionKey) {
    if (company.empty() || application.empty() || !section) return false;
    RegKey software, companyKey, appKey;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"software", 0, kAccess, software.put()) != ERROR_SUCCESS) return false;
    return CreateChild(software.get(), company, companyKey) && CreateChild(companyKey.get(), application, appKey) &&
           CreateChild(appKey.get(), ui::Widen(section), sectionKey);
}

}  // namespace

int SettingsStore::ReadSettingInt(const char* section, const char* key, int def) const {
    RegKey k;
    if (!OpenSection(company_, application_, section, k)) return def;
    DWORD value = 0, type = 0, size = sizeof(value);
    if (RegQueryValueExW(k.get(), ui::Widen(key).c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value),
                         &size) != ERROR_SUCCESS)
        return def;
    if (type != REG_DWORD || size != sizeof(value)) return def;
    return static_cast<int>(value);
}

bool SettingsStore::WriteSettingInt(const char* section, const char* key, int value) const {
    RegKey k;
    if (!OpenSection(company_, application_, section, k)) return false;
    const DWORD v = static_cast<DWORD>(value);
    return RegSetValueExW(k.get(), ui::Widen(key).c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v),
                          sizeof(v)) == ERROR_SUCCESS;
}

std::string SettingsStore::ReadSettingString(const char* section, const char* key, const char* def) const {
    const std::string fallback = def ? def : "";
    RegKey k;
    if (!OpenSection(company_, application_, section, k)) return fallback;
    const std::wstring name = ui::Widen(key);
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(k.get(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return fallback;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return fallback;
    // One spare character: a value written without its terminating NUL still
    // reads as a terminated text.
    std::vector<wchar_t> buf(size / sizeof(wchar_t) + 1, L'\0');
    DWORD got = size;
    if (RegQueryValueExW(k.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buf.data()), &got) !=
        ERROR_SUCCESS)
        return fallback;
    return ui::Narrow(std::wstring(buf.data()));
}

bool SettingsStore::WriteSettingString(const char* section, const char* key, const char* text) const {
    RegKey k;
    if (!OpenSection(company_, application_, section, k)) return false;
    const std::wstring name = ui::Widen(key);
    if (!text) {
        const LONG rc = RegDeleteValueW(k.get(), name.c_str());
        return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
    }
    const std::wstring value = ui::Widen(text);
    return RegSetValueExW(k.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}
