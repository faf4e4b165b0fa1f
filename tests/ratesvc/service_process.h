// zelvane-ratesvc as a child process of a test: started on a free port that
// it publishes through a file, stopped (SIGTERM natively, its stop event on
// Windows) and expected to end cleanly. On Windows each service gets an
// instance name of its own, so that tests running side by side do not meet
// in its one-per-user mutex, and it fetches nothing unless told to.
#pragma once

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#include <process.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <thread>
#include <vector>

inline int TestProcessId() {
#ifdef _WIN32
    return _getpid();
#else
    return getpid();
#endif
}

// How many requests for `path` the scripted peer (rate_peer.py) logged in
// `requestsLog`. Request lines, not the log's bytes: a connection that
// carries no request (a TLS handshake the client refused, which under TLS
// 1.3 can end on the peer's side first) leaves nothing to count.
inline size_t RequestsFor(const std::string& requestsLog, const std::string& path) {
    std::ifstream in(requestsLog, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string line = "GET " + path + " ";
    size_t n = 0;
    for (size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1)) ++n;
    return n;
}

// A fresh folder for one test process's files.
inline std::string MakeTestDir(const char* stem) {
    namespace fs = std::filesystem;
    static int s_count = 0;
    const int pid = TestProcessId();
    const fs::path dir = fs::temp_directory_path() / (std::string(stem) + "-" + std::to_string(pid) + "-" +
                                                      std::to_string(++s_count));
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir.string();
}

#ifdef _WIN32

inline std::wstring Wide(const std::string& utf8) {
    std::wstring out(utf8.size(), L'\0');
    out.resize(static_cast<size_t>(
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), static_cast<int>(out.size()))));
    return out;
}
inline std::wstring WideArg(const std::string& utf8) { return L"\"" + Wide(utf8) + L"\""; }  // no argument here holds a quote

// The instance name each running service was given, by process id.
inline std::map<pid_t, std::string>& ServiceInstances() {
    static std::map<pid_t, std::string> s;
    return s;
}

// Starts the service with these arguments; its process handle, or null.
inline HANDLE LaunchService(const std::vector<std::string>& args, pid_t* pid = nullptr) {
    std::wstring line = WideArg(ZELVANE_RATESVC);
    for (const std::string& a : args) line += L" " + WideArg(a);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return nullptr;
    CloseHandle(pi.hThread);
    if (pid) *pid = static_cast<pid_t>(pi.dwProcessId);
    return pi.hProcess;
}

// The exit code of a process that ends within `ms`, or -1.
inline long WaitExit(HANDLE process, DWORD ms) {
    DWORD code = 0;
    if (WaitForSingleObject(process, ms) != WAIT_OBJECT_0 || !GetExitCodeProcess(process, &code)) return -1;
    return static_cast<long>(code);
}

#endif

// `log`, when given, receives the service's log.
inline void StartService(const std::string& dir, const std::string& rates, std::vector<std::string> extra, pid_t& pid,
                         int& port, const std::string& log = {}) {
    const std::string portFile = dir + "/port";
    std::remove(portFile.c_str());
    std::vector<std::string> args = {"--rates", rates, "--port", "0", "--port-file", portFile};
#ifdef _WIN32
    static int s_count = 0;
    const std::string instance = "test-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++s_count);
    args.insert(args.begin(), {"--instance", instance, "--no-fetch", "--log", log.empty() ? dir + "/service.log" : log});
    args.insert(args.end(), extra.begin(), extra.end());
    HANDLE process = LaunchService(args, &pid);
    ASSERT_NE(process, nullptr);
    CloseHandle(process);
    ServiceInstances()[pid] = instance;
#else
    args.insert(args.begin(), ZELVANE_RATESVC);
    args.insert(args.end(), extra.begin(), extra.end());
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!log.empty()) posix_spawn_file_actions_addopen(&actions, 2, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int spawned = posix_spawn(&pid, ZELVANE_RATESVC, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ASSERT_EQ(spawned, 0);
#endif
    port = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!port && std::chrono::steady_clock::now() < deadline) {
        std::ifstream(portFile) >> port;
        if (!port) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_GT(port, 0) << "the service did not publish its port";
}

inline void StopService(pid_t pid) {
#ifdef _WIN32
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
    ASSERT_NE(process, nullptr);
    const std::wstring event = L"Local\\ZelvaneRateService-" + Wide(ServiceInstances()[pid]) + L"Stop";
    HANDLE stop = OpenEventW(EVENT_MODIFY_STATE, FALSE, event.c_str());
    ASSERT_NE(stop, nullptr);
    SetEvent(stop);
    CloseHandle(stop);
    EXPECT_EQ(WaitExit(process, 30000), 0) << "no clean stop";
    CloseHandle(process);
    ServiceInstances().erase(pid);
#else
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    // A clean stop, and no leak or sanitizer report at exit.
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
#endif
}
