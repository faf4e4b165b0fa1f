#include "tests/driver/app_process.h"

#include <utility>
#include <vector>

namespace driver {

namespace {

constexpr UINT kKilledExitCode = 0xDEAD;

std::wstring FolderOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

}  // namespace

AppProcess::~AppProcess() {
    Kill();
    Close();
}

AppProcess::AppProcess(AppProcess&& other) noexcept
    : process_(std::exchange(other.process_, nullptr)),
      pid_(std::exchange(other.pid_, 0)),
      lastError_(other.lastError_) {}

AppProcess& AppProcess::operator=(AppProcess&& other) noexcept {
    if (this != &other) {
        Kill();
        Close();
        process_ = std::exchange(other.process_, nullptr);
        pid_ = std::exchange(other.pid_, 0);
        lastError_ = other.lastError_;
    }
    return *this;
}

bool AppProcess::Start(const std::wstring& exePath, const std::wstring& arguments) {
    Kill();
    Close();
    std::wstring commandLine = L"\"" + exePath + L"\"";
    if (!arguments.empty()) commandLine += L" " + arguments;
    std::vector<wchar_t> buf(commandLine.begin(), commandLine.end());
    buf.push_back(L'\0');
    const std::wstring folder = FolderOf(exePath);

    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(exePath.c_str(), buf.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &si, &pi)) {
        lastError_ = GetLastError();
        return false;
    }
    CloseHandle(pi.hThread);
    process_ = pi.hProcess;
    pid_ = pi.dwProcessId;
    lastError_ = 0;
    return true;
}

bool AppProcess::IsRunning() const {
    return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

std::optional<DWORD> AppProcess::WaitForExit(milliseconds timeout) {
    if (!process_) return std::nullopt;
    if (WaitForSingleObject(process_, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0) return std::nullopt;
    DWORD code = 0;
    if (!GetExitCodeProcess(process_, &code)) return std::nullopt;
    return code;
}

void AppProcess::Kill() {
    if (!IsRunning()) return;
    TerminateProcess(process_, kKilledExitCode);
    WaitForSingleObject(process_, static_cast<DWORD>(kExitTimeout.count()));
}

void AppProcess::Close() {
    if (process_) CloseHandle(process_);
    process_ = nullptr;
    pid_ = 0;
}

}  // namespace driver
