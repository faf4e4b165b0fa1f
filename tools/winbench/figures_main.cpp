// process_figures.exe <image> [<image> ...]: one line per running process of
// each image name, with what it holds (tools/winbench/process_figures.h), so
// that a script can read a program and its reference at the same moment.
//   image pid private_kb handles gdi user
#include <windows.h>

#include <cstdio>

#include "tools/winbench/process_figures.h"

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fwprintf(stderr, L"usage: process_figures <image> [<image> ...]\n");
        return 2;
    }
    int status = 0;
    for (int i = 1; i < argc; ++i) {
        const auto pids = winbench::ProcessesNamed(argv[i]);
        if (pids.empty()) {
            std::fwprintf(stderr, L"process_figures: no process %ls\n", argv[i]);
            status = 1;
        }
        for (DWORD pid : pids) {
            const winbench::ProcessFigures f = winbench::ReadProcessFigures(pid);
            if (!f.ok) {
                std::fwprintf(stderr, L"process_figures: cannot read %ls (%lu)\n", argv[i], pid);
                status = 1;
                continue;
            }
            std::wprintf(L"%ls %lu %zu %lu %lu %lu\n", argv[i], pid, f.privateBytes / 1024, f.handles, f.gdiObjects,
                         f.userObjects);
        }
    }
    std::fflush(stdout);
    return status;
}
