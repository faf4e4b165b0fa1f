// The running executable's own path, and writes that do not stop half way:
// one copy for every Windows program of the tree.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace ui {

// The full path of the running executable; empty when the system gives none.
std::wstring ExecutablePath();

// Writes all of data to the file or pipe, in as many calls as it takes;
// false when a write fails or writes nothing.
bool WriteAll(HANDLE file, const void* data, size_t size);
inline bool WriteAll(HANDLE file, std::string_view data) { return WriteAll(file, data.data(), data.size()); }

}  // namespace ui
