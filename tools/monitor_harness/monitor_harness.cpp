// Drives the on-screen rate window's own Poll in a loop, with the window,
// the log writer and the alarm check live, and reports what the process
// holds as it goes; then lets the window's own message loop run idle and
// counts the messages it takes. The timer period cannot be shortened, so a
// soak of thousands of polls needs this harness rather than the program.
//
//   monitor_harness --url URL --namespace NS [--polls N] [--report-at N,...]
//                   [--idle-seconds S] [--log-folder DIR] [--alarm-high RATE]
#include <windows.h>
#include <objbase.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

#include "alarm/alarm_state.h"
#include "monitor/osd_wnd.h"
#include "ratelog/rate_log.h"

namespace {

unsigned g_messages = 0;

LRESULT CALLBACK CountMessages(int code, WPARAM wp, LPARAM lp) {
    // Every message the loop takes off the queue, timers and paints included.
    if (code >= 0 && wp == PM_REMOVE) ++g_messages;
    return CallNextHookEx(nullptr, code, wp, lp);
}

// Under Wine the process is a Linux process too, and Wine reports neither
// private bytes nor handle counts: read them where Linux keeps them (drive Z:).
void ReportLinuxSide() {
    if (FILE* f = std::fopen("Z:\\proc\\self\\status", "r")) {
        char line[256];
        while (std::fgets(line, sizeof(line), f))
            if (!std::strncmp(line, "RssAnon:", 8) || !std::strncmp(line, "VmRSS:", 6)) {
                line[std::strcspn(line, "\n")] = 0;
                std::printf(" [%s]", line);
            }
        std::fclose(f);
    }
    WIN32_FIND_DATAW fd;
    HANDLE find = FindFirstFileW(L"Z:\\proc\\self\\fd\\*", &fd);
    if (find != INVALID_HANDLE_VALUE) {
        unsigned n = 0;
        do {
            if (fd.cFileName[0] != L'.') ++n;
        } while (FindNextFileW(find, &fd));
        FindClose(find);
        std::printf(" [fds: %u]", n);
    }
}

void Report(const char* when, unsigned polls, unsigned shown) {
    PROCESS_MEMORY_COUNTERS_EX mem{};
    mem.cb = sizeof(mem);
    if (!GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&mem), sizeof(mem)))
        std::printf("memory info failed: %lu\n", GetLastError());
    DWORD handles = 0;
    GetProcessHandleCount(GetCurrentProcess(), &handles);
    std::printf("%s polls=%u shown=%u private_kb=%lu working_set_kb=%lu handles=%lu gdi=%lu user=%lu", when, polls,
                shown, static_cast<unsigned long>(mem.PrivateUsage / 1024),
                static_cast<unsigned long>(mem.WorkingSetSize / 1024), static_cast<unsigned long>(handles),
                static_cast<unsigned long>(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS)),
                static_cast<unsigned long>(GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS)));
    ReportLinuxSide();
    std::printf("\n");
    std::fflush(stdout);
}

DWORD WINAPI QuitLater(void* arg) {
    const auto* a = static_cast<std::pair<DWORD, DWORD>*>(arg);
    Sleep(a->second);
    PostThreadMessageW(a->first, WM_QUIT, 0, 0);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    rates::ServiceSettings services;
    unsigned polls = 100;
    std::set<unsigned> reportAt;
    unsigned idleSeconds = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string opt = argv[i];
        const char* value = argv[i + 1];
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
            std::fprintf(stderr, "unknown option %s\n", argv[i]);
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
        Report("start", 0, 0);
        unsigned shown = 0;
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
            if (reportAt.count(n)) Report("after", n, shown);
        }

        if (idleSeconds) {
            HHOOK hook = SetWindowsHookExW(WH_GETMESSAGE, CountMessages, nullptr, GetCurrentThreadId());
            std::pair<DWORD, DWORD> quit{GetCurrentThreadId(), idleSeconds * 1000};
            HANDLE timer = CreateThread(nullptr, 0, QuitLater, &quit, 0, nullptr);
            g_messages = 0;
            osd.Run();
            UnhookWindowsHookEx(hook);
            WaitForSingleObject(timer, INFINITE);
            CloseHandle(timer);
            std::printf("idle seconds=%u messages=%u\n", idleSeconds, g_messages);
        }
        DestroyWindow(osd.hwnd());
    }
    CoUninitialize();
    return 0;
}
