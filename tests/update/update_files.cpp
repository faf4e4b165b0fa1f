#include "tests/update/update_files.h"

#include <cstdio>
#include <memory>

namespace driver::update_test {

std::string Utf8(const std::wstring& text) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::optional<std::string> FileBytes(const std::wstring& path) {
    std::unique_ptr<FILE, int (*)(FILE*)> f(_wfopen(path.c_str(), L"rb"), &fclose);
    if (!f) return std::nullopt;
    std::string data;
    char buffer[64 * 1024];
    size_t n;
    while ((n = fread(buffer, 1, sizeof(buffer), f.get())) > 0) data.append(buffer, n);
    return data;
}

bool CopyInto(const std::wstring& from, const std::wstring& to) { return CopyFileW(from.c_str(), to.c_str(), FALSE); }

std::set<std::wstring> FilesIn(const std::wstring& folder) {
    std::set<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.insert(found.cFileName);
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return names;
}

bool RemoveFolder(const std::wstring& folder) {
    for (const std::wstring& name : FilesIn(folder)) DeleteFileW((folder + L"\\" + name).c_str());
    RemoveDirectoryW(folder.c_str());
    return !Exists(folder);
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::wstring DownloadFolder() {
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, temp);
    return std::wstring(temp) + L"Zelvane-update";
}

}  // namespace driver::update_test
