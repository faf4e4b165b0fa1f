// What a running process holds, read from outside it: private memory,
// handle count and GDI/USER objects. One reader for every measuring program,
// so that the program and its reference (Wine's notepad.exe) are measured
// the same way. From outside, because under Wine a process asking about
// itself reads 0 for both private bytes and handles.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace winbench {

struct ProcessFigures {
    bool ok = false;          // the process could be opened and read
    SIZE_T privateBytes = 0;  // commit charge
    DWORD handles = 0;        // 0 when the system does not say
    DWORD gdiObjects = 0;     // 0 when the system does not say (Wine)
    DWORD userObjects = 0;
};

ProcessFigures ReadProcessFigures(DWORD pid);

// The ids of the running processes whose image file name is `image`
// (e.g. L"notepad.exe", compared without regard to case).
std::vector<DWORD> ProcessesNamed(const std::wstring& image);

}  // namespace winbench
