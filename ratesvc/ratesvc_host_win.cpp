// The Windows service's shell: a background process of the user's session
// (no console, no window), one per user, stopped by a named event that the
// installer or `zelvane-ratesvc /stop` sets. Its settings come from the
// user's registry, its rates file and log from the local application data
// folder; options on the command line override both (tests use that).
#include <winsock2.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "rate_fetch_win.h"
#include "ratesvc_host.h"
#include "ratesvc_log.h"
#include "source_runner.h"
#include "sources/rate_source.h"
#include "ui/text.h"

namespace ratesvc {

std::atomic<bool> g_stopRequested{false};
// Only asked once HostAwaitConnection saw a connection; the wait bounds an
// accept of one that went away meanwhile (the socket is non-blocking then).
const int kHostAcceptWaitUsec = -100000;

namespace {

constexpr wchar_t kInstance[] = L"ZelvaneRateService";
constexpr wchar_t kSettingsKey[] = L"Software\\Morvast\\Zelvane\\RateService";
constexpr char kDefaultSourceUrl[] = "https://www.ecb.europa.eu/stats/eurofxref/eurofxref-daily.xml";
constexpr char kDefaultPort[] = "48213";
constexpr DWORD kDefaultFetchEverySec = 3600;
// Fewer than one download a minute: a registry value of 0 must not make the
// service hammer the bank. The other sources' floors are the server's own.
constexpr DWORD kMinFetchEverySec = 60;
constexpr DWORD kMaxEverySec = 1000000;  // the most the server's options take
constexpr std::uintmax_t kLogLimit = 256 * 1024;
constexpr DWORD kStopWaitMs = 90000;  // a transfer in progress ends within its 60 s deadline

// Exit codes besides the server's own (0, 1 cannot listen, 2 bad options).
constexpr int kExitAlreadyRunning = 3;
constexpr int kExitStopTimedOut = 4;

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
// (absent: the default), and the server options they become.
struct SourceSetting {
    const char* name;  // in the log
    const wchar_t* urlValue;
    const wchar_t* everyValue;
    const char* defaultUrl;
    DWORD defaultEvery, minEvery;
    const char* urlOption;
    const char* everyOption;
};
constexpr SourceSetting kSources[] = {
    {"rates", L"SourceUrl", L"FetchEverySeconds", kDefaultSourceUrl, kDefaultFetchEverySec, kMinFetchEverySec,
     "--rates-url", "--fetch-every"},
    {"live", L"LiveUrl", L"LiveEverySeconds", kDefaultLiveUrl, kDefaultLiveEverySec, 0, "--live-url", "--live-every"},
    {"reference", L"ReferenceUrl", L"ReferenceEverySeconds", kDefaultReferenceUrl, kDefaultReferenceEverySec, 0,
     "--reference-url", "--reference-every"},
    {"metals", L"MetalsUrl", L"MetalsEverySeconds", kDefaultMetalsUrl, kDefaultMetalsEverySec, 0, "--metals-url",
     "--metals-every"},
};

// The source's options from the registry, added to `args`; a value that
// cannot be used is reported in `notes`.
void AddSourceOptions(const SourceSetting& source, std::vector<std::string>& args, std::string& notes) {
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
    args.insert(args.end(), {source.urlOption, chosen, source.everyOption, std::to_string(every)});
}

// What the server will fetch, as its options say at last (the last of an
// option given twice counts, as in the server): "live from URL every N s"
// or "live off" for each source. URLs as the server logs them, without a
// query or a password that may hold a key.
std::string SourcesInForce(const std::vector<std::string>& args) {
    std::string text;
    for (const SourceSetting& source : kSources) {
        std::string url, every = std::to_string(source.defaultEvery);
        for (size_t i = 1; i + 1 < args.size(); ++i) {
            if (args[i] == source.urlOption) url = args[i + 1];
            else if (args[i] == source.everyOption) every = args[i + 1];
        }
        text += std::string("; ") + source.name +
                (url.empty() ? " off" : " from " + ShownUrl(url) + " every " + every + " s");
    }
    return text;
}

// The running instance publishes its process id under this name, so that
// /stop can wait for the process itself: an installer replacing the
// executable needs it gone, not merely done serving.
std::wstring ProcessIdName(const std::wstring& instance) { return L"Local\\" + instance + L"Process"; }

HANDLE PublishProcessId(const std::wstring& instance) {
    HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(DWORD),
                                        ProcessIdName(instance).c_str());
    if (!mapping) return nullptr;
    if (void* view = MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, sizeof(DWORD))) {
        *static_cast<DWORD*>(view) = GetCurrentProcessId();
        UnmapViewOfFile(view);
    }
    return mapping;
}

HANDLE OpenRunningProcess(const std::wstring& instance) {
    HANDLE mapping = OpenFileMappingW(FILE_MAP_READ, FALSE, ProcessIdName(instance).c_str());
    if (!mapping) return nullptr;
    DWORD pid = 0;
    if (const void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, sizeof(DWORD))) {
        pid = *static_cast<const DWORD*>(view);
        UnmapViewOfFile(view);
    }
    CloseHandle(mapping);
    return pid ? OpenProcess(SYNCHRONIZE, FALSE, pid) : nullptr;
}

// Sets the running instance's stop event and waits until its process has
// exited. 0 also when none runs.
int StopRunning(const std::wstring& instance) {
    HANDLE process = OpenRunningProcess(instance);
    HANDLE stop = OpenEventW(EVENT_MODIFY_STATE, FALSE, (L"Local\\" + instance + L"Stop").c_str());
    int code = 0;
    if (stop) SetEvent(stop);
    if (process && WaitForSingleObject(process, kStopWaitMs) != WAIT_OBJECT_0) code = kExitStopTimedOut;
    if (stop) CloseHandle(stop);
    if (process) CloseHandle(process);
    return code;
}

}  // namespace

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

// zelvane-ratesvc [/stop] [--instance NAME] [--log FILE] [--no-fetch] [server options]
int wmain(int argc, wchar_t** wargv) {
    using namespace ratesvc;
    // A download of the service's (rate_fetch_win.cpp): before the mutex, the
    // log or a socket, none of which is the child's.
    if (argc >= 2 && std::wstring(wargv[1]) == kFetchProcessOption) return FetchProcessMain();
    std::wstring instance = kInstance;
    std::string logPath, dataFolder = DataFolder();
    bool stop = false, fetch = true;
    std::vector<std::string> rest;
    for (int i = 1; i < argc; ++i) {
        const std::wstring a = wargv[i];
        if (a == L"/stop") stop = true;
        else if (a == L"--instance" && i + 1 < argc) instance = std::wstring(kInstance) + L"-" + wargv[++i];
        else if (a == L"--log" && i + 1 < argc) logPath = ui::Narrow(wargv[++i]);
        else if (a == L"--no-fetch") fetch = false;
        else rest.push_back(ui::Narrow(a));
    }
    if (stop) return StopRunning(instance);

    // One instance per user: a second copy leaves at once, before it touches
    // the log or the rates file of the first.
    HANDLE mutex = CreateMutexW(nullptr, TRUE, (L"Local\\" + instance).c_str());
    if (!mutex || GetLastError() == ERROR_ALREADY_EXISTS) return kExitAlreadyRunning;
    g_stopEvent = CreateEventW(nullptr, TRUE, FALSE, (L"Local\\" + instance + L"Stop").c_str());
    if (!g_stopEvent) return 1;
    ResetEvent(g_stopEvent);  // still set by a /stop that outlived the last instance
    PublishProcessId(instance);  // held until the process ends

    if (!dataFolder.empty()) CreateDirectoryW(ui::Widen(dataFolder).c_str(), nullptr);
    if (logPath.empty() && !dataFolder.empty()) logPath = dataFolder + "\\ratesvc.log";
    if (!logPath.empty()) g_log = std::make_unique<CRotatingLog>(logPath, kLogLimit);

    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);

    // Defaults first: the server takes the last of an option given twice.
    std::vector<std::string> args = {"zelvane-ratesvc", "--rates", dataFolder + "\\rates.xml", "--port", kDefaultPort};
    std::string notes;
    if (fetch)
        for (const SourceSetting& source : kSources) AddSourceOptions(source, args, notes);
    args.insert(args.end(), rest.begin(), rest.end());
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    // Sources given on the command line download this way too.
    FetchInChildProcesses();
    HostLog("starting (process " + std::to_string(GetCurrentProcessId()) + SourcesInForce(args) + notes + ")");
    // The mutex is left to the end of the process: released any earlier, a
    // new instance could start beside this one while it still exits.
    return ServeMain(static_cast<int>(args.size()), argv.data());
}
