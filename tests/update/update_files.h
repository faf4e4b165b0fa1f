// Files and folders of the update tests, read and made from the driver's side.
#pragma once

#include <windows.h>

#include <optional>
#include <set>
#include <string>

namespace driver::update_test {

std::string Utf8(const std::wstring& text);
// The whole file, or nothing when it cannot be read.
std::optional<std::string> FileBytes(const std::wstring& path);
bool CopyInto(const std::wstring& from, const std::wstring& to);
// Names of the files in a folder (no subfolders).
std::set<std::wstring> FilesIn(const std::wstring& folder);
// Empties a folder of files and removes it; true when it is gone.
bool RemoveFolder(const std::wstring& folder);
bool Exists(const std::wstring& path);
// The folder the program downloads into, as the program names it: the
// user's temporary folder (shared with the program) + "Zelvane-update".
std::wstring DownloadFolder();

}  // namespace driver::update_test
