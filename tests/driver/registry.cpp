#include "tests/driver/registry.h"

#include <vector>

namespace driver {

namespace {

class Key {
public:
    Key() = default;
    ~Key() {
        if (key_) RegCloseKey(key_);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    HKEY* put() { return &key_; }
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

bool Open(const std::wstring& subKey, REGSAM access, Key& key) {
    return RegOpenKeyExW(HKEY_CURRENT_USER, subKey.c_str(), 0, access, key.put()) == ERROR_SUCCESS;
}

bool Create(const std::wstring& subKey, Key& key) {
    return RegCreateKeyExW(HKEY_CURRENT_USER, subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                           KEY_READ | KEY_WRITE, nullptr, key.put(), nullptr) == ERROR_SUCCESS;
}

}  // namespace

bool DeleteUserKeyTree(const std::wstring& subKey) {
    const LSTATUS rc = RegDeleteTreeW(HKEY_CURRENT_USER, subKey.c_str());
    if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) return false;
    // RegDeleteTree empties the key; some versions leave the key itself.
    RegDeleteKeyW(HKEY_CURRENT_USER, subKey.c_str());
    return !UserKeyExists(subKey);
}

bool UserKeyExists(const std::wstring& subKey) {
    Key key;
    return Open(subKey, KEY_READ, key);
}

bool WriteUserDword(const std::wstring& subKey, const std::wstring& name, DWORD value) {
    Key key;
    return Create(subKey, key) && RegSetValueExW(key.get(), name.c_str(), 0, REG_DWORD,
                                                 reinterpret_cast<const BYTE*>(&value), sizeof(value)) == ERROR_SUCCESS;
}

bool WriteUserString(const std::wstring& subKey, const std::wstring& name, const std::wstring& value) {
    Key key;
    return Create(subKey, key) &&
           RegSetValueExW(key.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

std::optional<DWORD> ReadUserDword(const std::wstring& subKey, const std::wstring& name) {
    Key key;
    if (!Open(subKey, KEY_READ, key)) return std::nullopt;
    DWORD value = 0, type = 0, size = sizeof(value);
    if (RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof(value))
        return std::nullopt;
    return value;
}

std::optional<std::wstring> ReadUserString(const std::wstring& subKey, const std::wstring& name) {
    Key key;
    if (!Open(subKey, KEY_READ, key)) return std::nullopt;
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_SZ)
        return std::nullopt;
    std::vector<wchar_t> buf(size / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buf.data()), &size) !=
        ERROR_SUCCESS)
        return std::nullopt;
    return std::wstring(buf.data());
}

}  // namespace driver
