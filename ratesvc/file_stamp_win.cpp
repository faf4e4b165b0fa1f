// The C runtime's stat has whole seconds and no file identity: a new file
// renamed over the old one within the same second, at the same size, would
// go unnoticed. The file's handle information has both.
#include <windows.h>

#include <filesystem>

#include "file_stamp.h"

namespace ratesvc {

CFileStamp StampOf(const std::string& path) {
    CFileStamp s;
    const std::wstring wide = std::filesystem::u8path(path).wstring();
    HANDLE file = CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return s;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool ok = GetFileInformationByHandle(file, &info);
    CloseHandle(file);
    if (!ok) return s;
    const unsigned long long ticks =
        (static_cast<unsigned long long>(info.ftLastWriteTime.dwHighDateTime) << 32) | info.ftLastWriteTime.dwLowDateTime;
    s.bPresent = true;
    s.nInode = (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    s.nSize = (static_cast<unsigned long long>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    s.nMtimeSec = static_cast<long long>(ticks / 10000000);  // 100 ns steps
    s.nMtimeNsec = static_cast<long long>(ticks % 10000000) * 100;
    return s;
}

std::FILE* OpenToAppend(const std::string& path) { return _wfopen(std::filesystem::u8path(path).c_str(), L"ab"); }

}  // namespace ratesvc
