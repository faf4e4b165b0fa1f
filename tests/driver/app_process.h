// A program under test, started by the driver and never left behind: the
// destructor kills it if it is still running, so a failed assertion does not
// leave a copy that holds the single-instance mutex for the next test.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "tests/driver/wait.h"

namespace driver {

class AppProcess {
public:
    AppProcess() = default;
    ~AppProcess();
    AppProcess(AppProcess&& other) noexcept;
    AppProcess& operator=(AppProcess&& other) noexcept;
    AppProcess(const AppProcess&) = delete;
    AppProcess& operator=(const AppProcess&) = delete;

    // Starts exePath (a Windows path) with the given argument text; the
    // working folder is the executable's folder. False with lastError() set
    // when CreateProcess fails.
    bool Start(const std::wstring& exePath, const std::wstring& arguments = L"");

    bool started() const { return process_ != nullptr; }
    DWORD pid() const { return pid_; }
    DWORD lastError() const { return lastError_; }
    HANDLE handle() const { return process_; }

    bool IsRunning() const;
    // The exit code once the process has ended within the time-out.
    std::optional<DWORD> WaitForExit(milliseconds timeout = kExitTimeout);
    // Ends a running process and waits until it is gone.
    void Kill();

private:
    void Close();

    HANDLE process_ = nullptr;
    DWORD pid_ = 0;
    DWORD lastError_ = 0;
};

}  // namespace driver
