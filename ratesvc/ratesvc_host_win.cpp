// The Windows service's shell: a background process of the user's session
// (no console, no window), one per user, stopped by a named event that the
// installer or `zelvane-ratesvc /stop` sets. Its settings come from the
// user's registry, its rates file and log from the local application data
// folder; options on the command line override both (tests use that).
#include <winsock2.h>
#include <windows.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "rate_fetch_win.h"
#include "ratesvc_host.h"
#include "rates/service_defaults.h"
#include "ratesvc_log.h"
#include "source_runner.h"
#include "sources/rate_source.h"
#include "token_check.h"
#include "ui/file_win.h"
#include "ui/scoped_handle.h"
#include "ui/text.h"

namespace ratesvc {

std::atomic<bool> g_stopRequested{false};
// Only asked once HostAwaitConnection saw a connection; the wait bounds an
// accept of one that went away meanwhile (the socket is non-blocking then).
const int kHostAcceptWaitUsec = -100000;

namespace {

constexpr wchar_t kInstance[] = L"ZelvaneRateService";
constexpr wchar_t kSettingsKey[] = L"Software\\Morvast\\Zelvane\\RateService";
constexpr DWORD kDefaultFetchEverySec = 3600;
// Fewer than one download a minute: a registry value of 0 must not make the
// service hammer the bank. The other sources' floors are the server's own.
constexpr DWORD kMinFetchEverySec = 60;
constexpr DWORD kMaxEverySec = 1000000;  // the most the server's options take
constexpr std::uintmax_t kLogLimit = 256 * 1024;
constexpr DWORD kStopWaitMs = 90000;  // a transfer in progress ends within its deadline (30 s) and grace

// Exit codes besides the server's own (0, 1 cannot listen, 2 bad options).
constexpr int kExitAlreadyRunning = 3;
constexpr int kExitStopTimedOut = 4;
constexpr int kExitNoDataFolder = 5;
constexpr int kExitNoSockets = 6;
constexpr int kExitElevated = 7;

std::unique_ptr<CRotatingLog> g_log;
HANDLE g_stopEvent = nullptr;

// %LOCALAPPDATA%\Zelvane. From the environment, else from where the shell
// keeps the folder's name; not through shell32 itself, whose load (with
// user32 and COM behind it) would cost an idle service more memory than all
// its own work.
std::string DataFolder() {
    wchar_t path[MAX_PATH * 2];
    DWORD n = GetEnvironmentVariableW(L"LOCALAPPDATA", path, MAX_PATH * 2);
    if (n == 0 || n >= MAX_PATH * 2) {
        wchar_t raw[MAX_PATH * 2];
        DWORD bytes = sizeof raw;
        n = 0;
        if (RegGetValueW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
                         L"Local AppData", RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, raw, &bytes) ==
            ERROR_SUCCESS)
            n = ExpandEnvironmentStringsW(raw, path, MAX_PATH * 2);
        if (n == 0 || n > MAX_PATH * 2) return {};
    }
    return ui::Narrow(path) + "\\Zelvane";
}

// A source as the user's registry sets it: its URL value (absent: the
// compiled default; empty: the source is off) and its interval value
// (absent: the default), and the server options they fill.
struct SourceSetting {
    const char* name;  // in the log
    const wchar_t* urlValue;
    const wchar_t* everyValue;
    const char* defaultUrl;
    DWORD defaultEvery, minEvery;
    std::string CServeOptions::*url;
    int CServeOptions::*every;
};
const SourceSetting kSources[] = {
    {"rates", L"SourceUrl", L"FetchEverySeconds", kDefaultBankUrl, kDefaultFetchEverySec, kMinFetchEverySec,
     &CServeOptions::strRatesUrl, &CServeOptions::nFetchEverySec},
    {"live", L"LiveUrl", L"LiveEverySeconds", kDefaultLiveUrl, kDefaultLiveEverySec, 0, &CServeOptions::strLiveUrl,
     &CServeOptions::nLiveEverySec},
    {"reference", L"ReferenceUrl", L"ReferenceEverySeconds", kDefaultReferenceUrl, kDefaultReferenceEverySec, 0,
     &CServeOptions::strReferenceUrl, &CServeOptions::nReferenceEverySec},
    {"metals", L"MetalsUrl", L"MetalsEverySeconds", kDefaultMetalsUrl, kDefaultMetalsEverySec, 0,
     &CServeOptions::strMetalsUrl, &CServeOptions::nMetalsEverySec},
};

// The source's options from the registry; a value that cannot be used is
// reported in `notes`.
void ReadSourceSetting(const SourceSetting& source, CServeOptions& options, std::string& notes) {
    wchar_t url[2048];
    DWORD bytes = sizeof url;
    const LSTATUS read = RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, source.urlValue, RRF_RT_REG_SZ, nullptr, url, &bytes);
    std::string chosen;
    if (read == ERROR_FILE_NOT_FOUND) chosen = source.defaultUrl;
    else if (read == ERROR_SUCCESS) chosen = ui::Narrow(url);
    else  // of another type, or too long: the source stays off rather than asking someone unintended
        notes += "; " + ui::Narrow(source.urlValue) + " cannot be read (error " + std::to_string(read) + ")";
    if (chosen.empty()) return;
    DWORD every = source.defaultEvery;
    bytes = sizeof every;
    const LSTATUS readEvery =
        RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, source.everyValue, RRF_RT_REG_DWORD, nullptr, &every, &bytes);
    if (readEvery != ERROR_SUCCESS) {
        if (readEvery != ERROR_FILE_NOT_FOUND)
            notes += "; " + ui::Narrow(source.everyValue) + " cannot be read (error " + std::to_string(readEvery) + ")";
        every = source.defaultEvery;
    }
    every = every < source.minEvery ? source.minEvery : every > kMaxEverySec ? kMaxEverySec : every;
    options.*source.url = chosen;
    options.*source.every = static_cast<int>(every);
}

// What the server will fetch: "live from URL every N s" or "live off" for
// each source. URLs as the server logs them, without a query or a password
// that may hold a key.
std::string SourcesInForce(const CServeOptions& options) {
    std::string text;
    for (const SourceSetting& source : kSources) {
        const std::string& url = options.*source.url;
        text += std::string("; ") + source.name +
                (url.empty() ? " off" : " from " + ShownUrl(url) + " every " + std::to_string(options.*source.every) + " s");
    }
    return text;
}

// Sets the running instance's stop event and waits until its process has
// exited: an installer replacing the executable needs it gone, not merely
// done serving. The instance holds its mutex until its process ends, so the
// mutex comes free (abandoned) exactly then. 0 also when none runs.
int StopRunning(const std::wstring& instance) {
    const ui::ScopedHandle running(OpenMutexW(SYNCHRONIZE, FALSE, (L"Local\\" + instance).c_str()));
    if (!running) return 0;
    const ui::ScopedHandle stop(OpenEventW(EVENT_MODIFY_STATE, FALSE, (L"Local\\" + instance + L"Stop").c_str()));
    if (stop) SetEvent(stop.get());
    const DWORD waited = WaitForSingleObject(running.get(), kStopWaitMs);
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) {
        ReleaseMutex(running.get());  // held only for this moment
        return 0;
    }
    return kExitStopTimedOut;
}

// The elevation of this process's token, as the portable check names it.
ETokenElevation OwnElevation() {
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return ETokenElevation::Unknown;
    const ui::ScopedHandle token(raw);
    TOKEN_ELEVATION_TYPE type{};
    DWORD size = 0;
    if (!GetTokenInformation(token.get(), TokenElevationType, &type, sizeof type, &size)) return ETokenElevation::Unknown;
    switch (type) {
    case TokenElevationTypeDefault: return ETokenElevation::Default;
    case TokenElevationTypeFull: return ETokenElevation::Full;
    case TokenElevationTypeLimited: return ETokenElevation::Limited;
    }
    return ETokenElevation::Unknown;
}

// Wine's ntdll exports wine_get_version; Windows' does not.
bool UnderWine() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

// A refused, elevated process writes nowhere that a junction or link in the
// user's writable folders could send it: no folder or file is made, and the
// line goes only into a log that exists already, reached through a handle
// whose final path is the log's own and that has no second name.
void LogRefusal(const std::string& logPath, const std::string& line) {
    if (logPath.empty()) return;
    const std::wstring path = ui::Widen(logPath);
    const ui::ScopedHandle file(CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return;
    wchar_t full[MAX_PATH * 2], actual[MAX_PATH * 2 + 8];
    const DWORD nFull = GetFullPathNameW(path.c_str(), MAX_PATH * 2, full, nullptr);
    const DWORD nFinal = GetFinalPathNameByHandleW(file.get(), actual, MAX_PATH * 2 + 8, FILE_NAME_NORMALIZED);
    BY_HANDLE_FILE_INFORMATION info;
    if (nFull == 0 || nFull >= MAX_PATH * 2 || nFinal == 0 || nFinal >= MAX_PATH * 2 + 8 ||
        !GetFileInformationByHandle(file.get(), &info) || info.nNumberOfLinks != 1 ||
        CompareStringOrdinal(actual, -1, (std::wstring(L"\\\\?\\") + full).c_str(), -1, TRUE) != CSTR_EQUAL)
        return;
    SYSTEMTIME t;
    GetLocalTime(&t);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04u-%02u-%02u %02u:%02u:%02u ", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                  t.wSecond);
    ui::WriteAll(file.get(), stamp + line + "\n");
}

}  // namespace

// The process's first code, before the C runtime and any static constructor
// (CMakeLists.txt makes it the entry; the download child starts here too):
// DLLs loaded by name, WinHTTP's delay-loaded one included, then come from
// System32 only, never from the program's folder, which the user can write.
extern "C" int WinMainCRTStartup();
extern "C" int ZelvaneEntry() {
    if (!SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) ExitProcess(GetLastError());  // never unguarded
    return WinMainCRTStartup();
}

// The stop event and the socket in one wait of the server's own thread: a
// thread of its own to watch the event would cost the idle service its
// stack, about a megabyte under Wine. (Sockets accepted from this one share
// its event selection; FD_ACCEPT never fires on them.)
bool HostAwaitConnection(std::uintptr_t listener) {
    static const WSAEVENT ready = WSACreateEvent();
    static const bool selected = ready != WSA_INVALID_EVENT &&
                                 WSAEventSelect(static_cast<SOCKET>(listener), ready, FD_ACCEPT) == 0;
    if (!selected) {  // no event for the socket: a wait in accept, stop or not
        if (!g_stopRequested && WaitForSingleObject(g_stopEvent, 0) == WAIT_OBJECT_0) g_stopRequested = true;
        return !g_stopRequested;
    }
    const HANDLE both[] = {g_stopEvent, ready};
    const DWORD woke = WaitForMultipleObjects(2, both, FALSE, INFINITE);
    if (woke == WAIT_FAILED) HostLog("cannot wait for connections (error " + std::to_string(GetLastError()) + "); stopping");
    if (woke != WAIT_OBJECT_0 + 1) g_stopRequested = true;
    WSAResetEvent(ready);  // set again while connections are still pending, as accept re-enables FD_ACCEPT
    return !g_stopRequested;
}

void HostLog(const std::string& line) {
    SYSTEMTIME t;
    GetLocalTime(&t);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04u-%02u-%02u %02u:%02u:%02u ", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                  t.wSecond);
    if (g_log) g_log->Write(stamp + line);
}

void HostUsage(const char* text) { HostLog(std::string("bad command line\n") + text); }

}  // namespace ratesvc

// zelvane-ratesvc [/stop] [--instance NAME] [--log FILE] [--no-fetch] [--check-elevation] [server options]
int wmain(int argc, wchar_t** wargv) {
    using namespace ratesvc;
    // A download of the service's (rate_fetch_win.cpp): before the mutex, the
    // log or a socket, none of which is the child's.
    if (argc >= 2 && std::wstring(wargv[1]) == kFetchProcessOption) return FetchProcessMain();
    std::wstring instance = kInstance;
    std::string logPath, dataFolder = DataFolder();
    bool stop = false, fetch = true, checkUnderWine = false;
    std::vector<std::string> rest;
    for (int i = 1; i < argc; ++i) {
        const std::wstring a = wargv[i];
        if (a == L"/stop") stop = true;
        else if (a == L"--instance" && i + 1 < argc) instance = std::wstring(kInstance) + L"-" + wargv[++i];
        else if (a == L"--log" && i + 1 < argc) logPath = ui::Narrow(wargv[++i]);
        else if (a == L"--no-fetch") fetch = false;
        else if (a == L"--check-elevation") checkUnderWine = true;  // can only refuse more
        else rest.push_back(ui::Narrow(a));
    }
    if (stop) return StopRunning(instance);

    // Never elevated: the installer and the logon start it as the user.
    // Before the mutex, the folder and the log, which an elevated process
    // must not make or rotate in folders the user's other programs can
    // write. Under Wine every process is elevated, so there the check runs
    // only when --check-elevation asks for it (the tests do, to see it).
    const CTokenVerdict verdict = JudgeToken(OwnElevation(), UnderWine(), checkUnderWine);
    if (!verdict.bRun) {
        LogRefusal(logPath.empty() && !dataFolder.empty() ? dataFolder + "\\ratesvc.log" : logPath,
                   "not starting (process " + std::to_string(GetCurrentProcessId()) + "): " + verdict.strWhy);
        return kExitElevated;
    }

    // One instance per user: a second copy leaves at once, before it touches
    // the log or the rates file of the first.
    // Held, never released, until the process ends: /stop waits for that.
    const ui::ScopedHandle mutex(CreateMutexW(nullptr, TRUE, (L"Local\\" + instance).c_str()));
    if (!mutex || GetLastError() == ERROR_ALREADY_EXISTS) return kExitAlreadyRunning;
    const ui::ScopedHandle stopEvent(CreateEventW(nullptr, TRUE, FALSE, (L"Local\\" + instance + L"Stop").c_str()));
    if (!stopEvent) return 1;
    g_stopEvent = stopEvent.get();
    ResetEvent(g_stopEvent);  // still set by a /stop that outlived the last instance

    // Without its folder the rates would land at the drive's root and no log
    // would say why: refuse to start, in the log if one was named, and in the
    // exit code the installer and /stop see.
    const bool haveFolder = !dataFolder.empty() && (CreateDirectoryW(ui::Widen(dataFolder).c_str(), nullptr) ||
                                                    GetLastError() == ERROR_ALREADY_EXISTS);
    if (logPath.empty() && haveFolder) logPath = dataFolder + "\\ratesvc.log";
    if (!logPath.empty()) g_log = std::make_unique<CRotatingLog>(logPath, kLogLimit);

    if (!haveFolder) {
        HostLog("no local application data folder (" + (dataFolder.empty() ? std::string("unknown") : dataFolder) +
                "); not starting");
        return kExitNoDataFolder;
    }
    WSADATA wsa;
    if (const int failed = WSAStartup(MAKEWORD(2, 2), &wsa)) {
        HostLog("no sockets (error " + std::to_string(failed) + "); not starting");
        return kExitNoSockets;
    }

    // The registry's settings first, then the command line over them.
    CServeOptions options;
    options.strRates = dataFolder + "\\rates.xml";
    options.nPort = std::atoi(rates::kLocalServicePort);
    std::string notes;
    if (fetch)
        for (const SourceSetting& source : kSources) ReadSourceSetting(source, options, notes);
    if (!ParseServeOptions(rest, options)) {
        HostLog("not starting (process " + std::to_string(GetCurrentProcessId()) + SourcesInForce(options) + notes +
                "): a command line it does not take");
        ServeUsage();
        return 2;
    }
    // Sources given on the command line download this way too.
    FetchInChildProcesses();
    HostLog("starting (process " + std::to_string(GetCurrentProcessId()) + SourcesInForce(options) + notes + ")");
    // The mutex is left to the end of the process: released any earlier, a
    // new instance could start beside this one while it still exits.
    return ServeMain(options);
}
