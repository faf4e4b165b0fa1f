// Drives the on-screen rate window's own Poll in a loop, with the window,
// the log writer and the alarm check live; then lets the window's own
// message loop run idle and counts the messages it takes. The timer period
// cannot be shortened, so a soak of thousands of polls needs this harness
// rather than the program.
//
//   monitor_harness --url URL --namespace NS [--polls N] [--report-at N,...]
//                   [--idle-seconds S] [--log-folder DIR] [--alarm-high RATE]
//                   [--pause]
//
// At the start, at each --report-at count and at the end it prints a line
// "at <label> polls=N shown=N"; with --pause it then waits for a line on
// its input, so that a measuring program can read what the process holds
// from outside (tools/winbench/process_figures.h: under Wine a process
// reads 0 for its own private bytes and handles) while nothing moves.
#include <windows.h>
#include <objbase.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <string>

#include "alarm/alarm_state.h"
#include "monitor/osd_logic.h"
#include "monitor/osd_wnd.h"
#include "ratelog/rate_log.h"

namespace {

// What the idle loop takes off the queue, by kind.
struct MessageCount {
    unsigned total = 0;
    std::map<UINT_PTR, unsigned> timers;  // by timer id
    unsigned paints = 0;
    std::map<UINT, unsigned> others;  // by message number
};
MessageCount g_idle;

LRESULT CALLBACK CountMessages(int code, WPARAM wp, LPARAM lp) {
    const auto* msg = reinterpret_cast<const MSG*>(lp);
    // WM_QUIT is the harness's own end of the idle time, not the program's.
    if (code >= 0 && wp == PM_REMOVE && msg->message != WM_QUIT) {
        ++g_idle.total;
        if (msg->message == WM_TIMER) ++g_idle.timers[msg->wParam];
        else if (msg->message == WM_PAINT) ++g_idle.paints;
        else ++g_idle.others[msg->message];
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}

bool g_pause = false;

void At(const char* label, unsigned polls, unsigned shown) {
    std::printf("at %s polls=%u shown=%u\n", label, polls, shown);
    std::fflush(stdout);
    if (g_pause) {
        char line[16];
        if (!std::fgets(line, sizeof line, stdin)) g_pause = false;  // nobody is measuring any more
    }
}

DWORD WINAPI QuitLater(void* arg) {
    const auto* a = static_cast<std::pair<DWORD, DWORD>*>(arg);
    Sleep(a->second);
    PostThreadMessageW(a->first, WM_QUIT, 0, 0);
    return 0;
}

void PrintIdle(unsigned seconds) {
    std::printf("idle seconds=%u messages=%u paints=%u", seconds, g_idle.total, g_idle.paints);
    for (const auto& [id, n] : g_idle.timers)
        std::printf(" timer%s=%u", id == OSDwnd::kPollTimer ? "(poll)" : id == OSDwnd::kShowTimer ? "(show)" : "", n);
    for (const auto& [message, n] : g_idle.others) std::printf(" msg0x%04x=%u", message, n);
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
    rates::ServiceSettings services;
    unsigned polls = 100;
    std::set<unsigned> reportAt;
    unsigned idleSeconds = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string opt = argv[i];
        if (opt == "--pause") {
            g_pause = true;
            continue;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "%s needs a value\n", argv[i]);
            return 2;
        }
        const char* value = argv[++i];
        if (opt == "--url") {
            services.conversionRateUrl = value;
        } else if (opt == "--namespace") {
            services.conversionRateNamespace = value;
        } else if (opt == "--polls") {
            polls = static_cast<unsigned>(std::strtoul(value, nullptr, 10));
        } else if (opt == "--report-at") {
            for (const char* p = value; *p;) {
                char* end = nullptr;
                reportAt.insert(static_cast<unsigned>(std::strtoul(p, &end, 10)));
                p = *end ? end + 1 : end;
            }
        } else if (opt == "--idle-seconds") {
            idleSeconds = static_cast<unsigned>(std::strtoul(value, nullptr, 10));
        } else if (opt == "--log-folder") {
            LogState.FolderPath = value;
            LogState.LogStampFormat = "%Y/%m/%d %H:%M:%S ";
            LogState.bLogOn = true;
        } else if (opt == "--alarm-high") {
            // Alarms live: changes at or above the limit set off the sound
            // and show the window, the others are checked and not shown.
            AlarmState.bAlarmOn = true;
            AlarmState.bHighLimit = true;
            AlarmState.dLimitHigh = std::strtod(value, nullptr);
        } else {
            std::fprintf(stderr, "unknown option %s\n", opt.c_str());
            return 2;
        }
    }
    services.exchangeRateUrl = services.conversionRateUrl;  // never asked once the first answers

    CoInitialize(nullptr);
    {
        OSDwnd osd(services);
        bMonitorOn = true;
        if (!osd.Create(GetModuleHandleW(nullptr), 138, 61, 0, 0, RGB(0, 0, 255), RGB(255, 0, 0), 0, nullptr)) {
            std::fprintf(stderr, "the on-screen window could not be created\n");
            return 1;
        }
        // The loop below is the poll timer: the window's own timer would
        // add polls nobody counts. It is back for the idle time.
        KillTimer(osd.hwnd(), OSDwnd::kPollTimer);
        At("start", 0, 0);
        unsigned shown = 0;
        const auto t0 = std::chrono::steady_clock::now();
        auto paused = std::chrono::steady_clock::duration::zero();
        for (unsigned n = 1; n <= polls; ++n) {
            // What the poll timer does, minus the wait.
            if (osd.Poll()) {
                ++shown;
                ShowWindow(osd.hwnd(), SW_SHOWNA);
                InvalidateRect(osd.hwnd(), nullptr, TRUE);
                UpdateWindow(osd.hwnd());
                ShowWindow(osd.hwnd(), SW_HIDE);
            }
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
            if (reportAt.count(n)) {
                const auto p0 = std::chrono::steady_clock::now();
                At("polls", n, shown);
                paused += std::chrono::steady_clock::now() - p0;
            }
        }
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0 - paused).count();
        std::printf("polled polls=%u shown=%u ms=%.0f ms_per_poll=%.2f\n", polls, shown, ms, polls ? ms / polls : 0.0);

        if (idleSeconds) {
            At("idle", polls, shown);
            SetTimer(osd.hwnd(), OSDwnd::kPollTimer, monitor::PollPeriodMs(0), nullptr);
            HHOOK hook = SetWindowsHookExW(WH_GETMESSAGE, CountMessages, nullptr, GetCurrentThreadId());
            // Half a second over, so that a timer due at the last second
            // is not lost to the harness's own WM_QUIT, which comes first.
            std::pair<DWORD, DWORD> quit{GetCurrentThreadId(), idleSeconds * 1000 + 500};
            HANDLE timer = CreateThread(nullptr, 0, QuitLater, &quit, 0, nullptr);
            osd.Run();
            UnhookWindowsHookEx(hook);
            WaitForSingleObject(timer, INFINITE);
            CloseHandle(timer);
            PrintIdle(idleSeconds);
        }
        At("end", polls, shown);
        DestroyWindow(osd.hwnd());
    }
    CoUninitialize();
    return 0;
}
