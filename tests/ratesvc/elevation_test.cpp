// The Windows service and the token it is started with, under Wine, where
// every process holds an administrator's elevated (Full) token and its
// linked token is the limited one: asked to check even under Wine, the
// service refuses the elevated token with its own exit code and a line in
// an existing log, and runs with the limited token.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "service_process.h"

namespace {

constexpr long kExitElevated = 7;

std::string ReadAll(const std::string& path) {
    std::ostringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

// Starts the service with the current process's linked (limited) token.
HANDLE LaunchLimited(const std::vector<std::string>& args) {
    HANDLE own = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &own)) return nullptr;
    TOKEN_LINKED_TOKEN linked{};
    DWORD size = 0;
    const BOOL got = GetTokenInformation(own, TokenLinkedToken, &linked, sizeof linked, &size);
    CloseHandle(own);
    if (!got) return nullptr;
    HANDLE primary = nullptr;
    const BOOL duplicated =
        DuplicateTokenEx(linked.LinkedToken, TOKEN_ALL_ACCESS, nullptr, SecurityImpersonation, TokenPrimary, &primary);
    CloseHandle(linked.LinkedToken);
    if (!duplicated) return nullptr;
    std::wstring line = WideArg(ZELVANE_RATESVC);
    for (const std::string& a : args) line += L" " + WideArg(a);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    const BOOL started =
        CreateProcessAsUserW(primary, nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
    CloseHandle(primary);
    if (!started) return nullptr;
    CloseHandle(pi.hThread);
    return pi.hProcess;
}

TEST(RatesvcElevation, RefusesTheElevatedTokenAndRunsWithTheLimitedOne) {
    const std::string dir = MakeTestDir("zelvane-ratesvc-elevation");
    const std::string log = dir + "\\service.log", portFile = dir + "\\port";
    std::ofstream(log).close();  // a refused service only appends to a log that exists
    const std::string instance = "elevation-" + std::to_string(GetCurrentProcessId());
    const std::vector<std::string> args = {"--instance", instance,    "--log",       log,      "--no-fetch",
                                           "--port",     "0",         "--port-file", portFile, "--rates",
                                           dir + "\\rates.xml", "--check-elevation"};

    HANDLE elevated = LaunchService(args);
    ASSERT_NE(elevated, nullptr);
    EXPECT_EQ(WaitExit(elevated, 30000), kExitElevated);
    CloseHandle(elevated);
    EXPECT_NE(ReadAll(log).find("not starting"), std::string::npos) << ReadAll(log);
    EXPECT_NE(ReadAll(log).find("elevated token"), std::string::npos) << ReadAll(log);

    HANDLE limited = LaunchLimited(args);
    ASSERT_NE(limited, nullptr) << "no limited token to start with (error " << GetLastError() << ")";
    int port = 0;
    for (int i = 0; i < 400 && !port; ++i) {
        std::ifstream(portFile) >> port;
        if (!port) Sleep(50);
    }
    EXPECT_GT(port, 0) << ReadAll(log);
    EXPECT_EQ(WaitExit(LaunchService({"/stop", "--instance", instance}), 60000), 0);
    EXPECT_EQ(WaitExit(limited, 30000), 0) << ReadAll(log);
    CloseHandle(limited);
}

}  // namespace
