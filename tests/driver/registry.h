// The current user's registry as the program under test sees it: the driver
// runs in the same Wine prefix (or Windows session), so HKCU is shared.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace driver {

// Deletes a key of HKEY_CURRENT_USER with everything below it. True when the
// key is gone afterwards (also when it never existed).
bool DeleteUserKeyTree(const std::wstring& subKey);
bool UserKeyExists(const std::wstring& subKey);
// Creates the key when needed.
bool WriteUserDword(const std::wstring& subKey, const std::wstring& name, DWORD value);
bool WriteUserString(const std::wstring& subKey, const std::wstring& name, const std::wstring& value);
// The value, or nothing when the key or the value is missing or of another type.
std::optional<DWORD> ReadUserDword(const std::wstring& subKey, const std::wstring& name);
std::optional<std::wstring> ReadUserString(const std::wstring& subKey, const std::wstring& name);

}  // namespace driver
