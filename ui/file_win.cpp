#include "ui/file_win.h"

#include <algorithm>

namespace ui {

std::wstring ExecutablePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return std::wstring();
        // A path that filled the buffer may have been cut short: try a larger one.
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

bool WriteAll(HANDLE file, const void* data, size_t size) {
    const auto* p = static_cast<const unsigned char*>(data);
    while (size > 0) {
        // WriteFile counts in a DWORD: a megabyte a call at the most.
        const DWORD piece = static_cast<DWORD>(std::min<size_t>(size, 1u << 20));
        DWORD written = 0;
        if (!WriteFile(file, p, piece, &written, nullptr) || written == 0) return false;
        p += written;
        size -= written;
    }
    return true;
}

}  // namespace ui
