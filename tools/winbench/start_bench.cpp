// start_bench: how long a Win32 program takes from CreateProcess until its
// main window is visible, for several programs measured in turns in one
// Wine session, so that each figure stands beside its reference (Wine's own
// notepad.exe) taken on the same machine at the same moment. Beside it, the
// time until the program first waits for input with nothing left queued
// (WaitForInputIdle): work a program defers past its first paint shows
// there. Also the private memory and handle count of each, idle, a moment
// after it is up.
//
//   start_bench.exe <rounds> <label> <exe> <window class> [<caption>] -- ...
// Each program runs once to warm the caches, then <rounds> times; the median
// is printed. Programs are ended after every start.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/driver/app_process.h"
#include "tools/winbench/process_figures.h"

namespace {

struct Program {
    std::wstring label, exe, windowClass, caption;
    std::vector<double> startMs;
    std::vector<double> readyMs;
    SIZE_T privateBytes = 0;
    DWORD handles = 0;
};

struct Search {
    DWORD pid;
    const Program* program;
    bool found;
};

// GetWindowTextW reads another process's caption without sending it a
// message, so a busy program cannot stall the poll.
BOOL CALLBACK Match(HWND hwnd, LPARAM lp) {
    auto* s = reinterpret_cast<Search*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != s->pid || !IsWindowVisible(hwnd)) return TRUE;
    wchar_t text[256] = {};
    GetClassNameW(hwnd, text, 256);
    if (s->program->windowClass != text) return TRUE;
    if (!s->program->caption.empty()) {
        text[0] = 0;
        GetWindowTextW(hwnd, text, 256);
        if (s->program->caption != text) return TRUE;
    }
    s->found = true;
    return FALSE;
}

bool MainWindowVisible(DWORD pid, const Program& p) {
    Search s{pid, &p, false};
    EnumWindows(Match, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

// One start: milliseconds until the main window is visible, or -1; the
// time until the program is idle goes to readyMs.
double StartOnce(Program& p, bool measureIdle) {
    driver::AppProcess process;
    const auto t0 = std::chrono::steady_clock::now();
    if (!process.Start(p.exe)) {
        std::fwprintf(stderr, L"start_bench: cannot start %ls (error %lu)\n", p.exe.c_str(), process.lastError());
        return -1;
    }
    const auto deadline = t0 + std::chrono::seconds(30);
    while (!MainWindowVisible(process.pid(), p)) {
        if (std::chrono::steady_clock::now() > deadline || !process.IsRunning()) return -1;
        Sleep(1);
    }
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    if (WaitForInputIdle(process.handle(), 30000) != 0) return -1;
    p.readyMs.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    if (measureIdle) {
        Sleep(2000);  // settled: first paint and start-up work done
        const winbench::ProcessFigures f = winbench::ReadProcessFigures(process.pid());
        p.privateBytes = f.privateBytes;
        p.handles = f.handles;
    }
    process.Kill();
    return ms;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 5) {
        std::fwprintf(stderr, L"usage: start_bench <rounds> <label> <exe> <class> [<caption>] [-- <label> ...]\n");
        return 2;
    }
    const int rounds = std::max(1, _wtoi(argv[1]));
    std::vector<Program> programs;
    for (int i = 2; i < argc;) {
        std::vector<std::wstring> fields;
        for (; i < argc && std::wstring(argv[i]) != L"--"; ++i) fields.push_back(argv[i]);
        ++i;
        if (fields.size() < 3 || fields.size() > 4) return 2;
        Program p;
        p.label = fields[0];
        p.exe = fields[1];
        p.windowClass = fields[2];
        if (fields.size() == 4) p.caption = fields[3];
        programs.push_back(p);
    }
    for (Program& p : programs)
        if (StartOnce(p, false) < 0) return 1;  // warm-up, not counted
    for (Program& p : programs) p.readyMs.clear();
    // In turns, so that a slow moment of the machine falls on every program.
    for (int r = 0; r < rounds; ++r) {
        for (Program& p : programs) {
            const double ms = StartOnce(p, r == rounds - 1);
            if (ms < 0) {
                std::fwprintf(stderr, L"start_bench: %ls showed no main window\n", p.label.c_str());
                return 1;
            }
            p.startMs.push_back(ms);
        }
    }
    std::wprintf(L"%-12ls %12ls %10ls %10ls %10ls %14ls %9ls\n", L"program", L"median ms", L"min ms", L"max ms",
                 L"ready ms", L"private KiB", L"handles");
    for (const Program& p : programs)
        std::wprintf(L"%-12ls %12.1f %10.1f %10.1f %10.1f %14zu %9lu\n", p.label.c_str(), Median(p.startMs),
                     *std::min_element(p.startMs.begin(), p.startMs.end()),
                     *std::max_element(p.startMs.begin(), p.startMs.end()), Median(p.readyMs),
                     p.privateBytes / 1024, p.handles);
    if (programs.size() >= 2) {
        const double ratio = Median(programs[0].startMs) / Median(programs[1].startMs);
        std::wprintf(L"start ratio %ls/%ls: %.2f (target <= 1.50)\n", programs[0].label.c_str(),
                     programs[1].label.c_str(), ratio);
    }
    std::fflush(stdout);
    return 0;
}
