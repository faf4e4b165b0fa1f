#include "tests/driver/wine_path.h"

#include <windows.h>

#include <vector>

namespace driver {

namespace {

bool IsWindowsPath(const std::wstring& p) {
    const bool drive = p.size() >= 2 && p[1] == L':';
    const bool unc = p.size() >= 2 && p[0] == L'\\' && p[1] == L'\\';
    return drive || unc;
}

std::string ToUtf8(const std::wstring& w) {
    if (w.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}

}  // namespace

std::wstring ToWindowsPath(const std::wstring& path) {
    if (path.empty() || IsWindowsPath(path)) return path;
    // Wine exports its own mapping; it knows drives other than Z:.
    using DosName = WCHAR* (*)(const char*);
    if (HMODULE kernel = GetModuleHandleW(L"kernel32.dll")) {
        auto fn = reinterpret_cast<DosName>(reinterpret_cast<void*>(GetProcAddress(kernel, "wine_get_dos_file_name")));
        if (fn) {
            if (WCHAR* dos = fn(ToUtf8(path).c_str())) {
                std::wstring result(dos);
                HeapFree(GetProcessHeap(), 0, dos);
                return result;
            }
        }
    }
    std::wstring result = L"Z:" + path;
    for (wchar_t& c : result)
        if (c == L'/') c = L'\\';
    return result;
}

std::wstring EnvVar(const wchar_t* name) {
    const DWORD n = GetEnvironmentVariableW(name, nullptr, 0);
    if (n == 0) return {};
    std::vector<wchar_t> buf(n, L'\0');
    const DWORD got = GetEnvironmentVariableW(name, buf.data(), n);
    return got == 0 || got >= n ? std::wstring() : std::wstring(buf.data(), got);
}

}  // namespace driver
