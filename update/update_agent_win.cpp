#include "update/update_agent.h"

#include <algorithm>
#include <vector>

#include "ui/text.h"
#include "update/pe_image.h"
#include "update/release_signature.h"
#include "update/version.h"

namespace {

constexpr char kAgentName[] = "AutoUpdateAgent";
constexpr char kVersionFile[] = "update.txt";
constexpr char kReadmeFile[] = "readme.txt";
constexpr char kSignatureSuffix[] = ".sig";
constexpr wchar_t kBackupName[] = L"OldExecutable.bak";
constexpr DWORD kVersionTextMax = 4096;
constexpr DWORD kReadChunk = 4096;
// A signature is a few hundred bytes; anything much larger is not one.
constexpr DWORD kSignatureMax = 64 * 1024;
// No release comes near this; a server that sends more would fill the disk.
constexpr unsigned long long kDownloadMax = 256ull * 1024 * 1024;

std::wstring FolderOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::wstring FileNameOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// WinInet hands an error page over like any file: only 200 is the file.
bool IsHttpOk(HINTERNET request) {
    DWORD status = 0;
    DWORD size = sizeof(status);
    return HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr) &&
           status == HTTP_STATUS_OK;
}

bool ReadSmallFile(const std::wstring& path, DWORD limit, std::vector<unsigned char>* out) {
    update::FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    out->assign(limit + 1, 0);
    DWORD total = 0;
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file.get(), out->data() + total, limit + 1 - total, &read, nullptr)) return false;
        if (read == 0) break;
        total += read;
        if (total > limit) return false;
    }
    out->resize(total);
    return true;
}

WORD RunningMachine() {
    const auto* base = reinterpret_cast<const BYTE*>(GetModuleHandleW(nullptr));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    return reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew)->FileHeader.Machine;
}

// A download checked after its signature: an image for this machine whose
// version resource names exactly the offered version.
bool IsExecutableOfVersion(const std::wstring& path, const update::Version& offered) {
    std::vector<unsigned char> head;
    update::FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    head.resize(update::kPeHeaderBytes);
    DWORD read = 0;
    if (!ReadFile(file.get(), head.data(), static_cast<DWORD>(head.size()), &read, nullptr)) return false;
    if (!update::IsWindowsExecutable(head.data(), read, RunningMachine())) return false;
    return CUpdateAgent::GetFileVersionString(path) == update::VersionText(offered);
}

void DeleteFilesIn(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileW((folder + L"\\" + found.cFileName).c_str());
    } while (FindNextFileW(find, &found));
    FindClose(find);
}

// The download folder for one update: emptied of an earlier run's leftovers
// when made, and emptied and removed again whatever the update's outcome.
class StagingFolder {
public:
    StagingFolder() : path_(CUpdateAgent::DownloadFolder()) {
        if (path_.empty()) return;
        DeleteFilesIn(path_);
        ok_ = CreateDirectoryW(path_.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
    }
    ~StagingFolder() {
        if (path_.empty()) return;
        DeleteFilesIn(path_);
        RemoveDirectoryW(path_.c_str());
    }
    StagingFolder(const StagingFolder&) = delete;
    StagingFolder& operator=(const StagingFolder&) = delete;

    bool ok() const { return ok_; }
    std::wstring File(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
    bool ok_ = false;
};

}  // namespace

CUpdateAgent::CUpdateAgent()
    : m_hInternet(InternetOpenW(ui::Widen(kAgentName).c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0)) {}

HINTERNET CUpdateAgent::OpenUrl(const std::string& url) const {
    return InternetOpenUrlW(m_hInternet.get(), ui::Widen(url).c_str(), nullptr, 0,
                            INTERNET_FLAG_RELOAD | INTERNET_FLAG_RESYNCHRONIZE | INTERNET_FLAG_HYPERLINK |
                                INTERNET_FLAG_NEED_FILE,
                            0);
}

bool CUpdateAgent::DownloadToFile(HINTERNET request, const std::wstring& path) {
    update::FileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    std::vector<BYTE> buffer(kReadChunk);
    unsigned long long total = 0;
    for (;;) {
        DWORD read = 0;
        if (!InternetReadFile(request, buffer.data(), kReadChunk, &read)) return false;
        if (read == 0) return true;
        total += read;
        if (total > kDownloadMax) return false;
        DWORD written = 0;
        if (!WriteFile(file.get(), buffer.data(), read, &written, nullptr) || written != read) return false;
    }
}

CUpdateAgent::Fetch CUpdateAgent::FetchToFile(const std::string& url, const std::wstring& path) const {
    update::InternetHandle request(OpenUrl(url));
    if (!request) return Fetch::kOpenFailed;
    if (!IsHttpOk(request.get())) return Fetch::kNotServed;
    return DownloadToFile(request.get(), path) ? Fetch::kOk : Fetch::kIncomplete;
}

std::wstring CUpdateAgent::GetExePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return std::wstring();
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::string CUpdateAgent::GetFileVersionString(const std::wstring& path) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) return std::string();
    std::vector<BYTE> data(size);
    if (!GetFileVersionInfoW(path.c_str(), 0, size, data.data())) return std::string();
    VS_FIXEDFILEINFO* info = nullptr;
    UINT infoSize = 0;
    if (!VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &infoSize) || !info ||
        infoSize < sizeof(VS_FIXEDFILEINFO))
        return std::string();
    return update::VersionText({HIWORD(info->dwFileVersionMS), LOWORD(info->dwFileVersionMS),
                                HIWORD(info->dwFileVersionLS), LOWORD(info->dwFileVersionLS)});
}

int CUpdateAgent::CompareVersions(const std::string& offered, const std::string& running) {
    return update::CompareVersions(offered, running);
}

bool CUpdateAgent::SwitchExecutable(const std::wstring& exePath, const std::wstring& newPath, bool delay) {
    const std::wstring backup = FolderOf(exePath) + L"\\" + kBackupName;
    DeleteFileW(backup.c_str());  // there may be no earlier backup
    const DWORD flags = delay ? MOVEFILE_DELAY_UNTIL_REBOOT : MOVEFILE_COPY_ALLOWED;
    if (!MoveFileExW(exePath.c_str(), backup.c_str(), flags)) return false;
    if (MoveFileExW(newPath.c_str(), exePath.c_str(), flags)) return true;
    // Never leave the user without a program. A copy across volumes may have
    // left part of the new file under the executable's name: replace it.
    if (!delay) MoveFileExW(backup.c_str(), exePath.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED);
    return false;
}

std::wstring CUpdateAgent::DownloadFolder() {
    wchar_t temp[MAX_PATH + 1] = {};
    const DWORD n = GetTempPathW(MAX_PATH + 1, temp);
    if (n == 0 || n > MAX_PATH) return std::wstring();
    std::wstring name = FileNameOf(GetExePath());
    if (const size_t dot = name.find_last_of(L'.'); dot != std::wstring::npos) name.resize(dot);
    return std::wstring(temp) + name + L"-update";
}

int CUpdateAgent::Update(const std::string& baseUrl, const std::function<bool()>& confirm) {
    if (!m_hInternet) return kNoConnection;
    DWORD connection = 0;
    if (!InternetGetConnectedState(&connection, 0)) return kNoConnection;

    std::string offered;
    {
        update::InternetHandle request(OpenUrl(baseUrl + kVersionFile));
        if (!request) return kOpenFailed;
        if (!IsHttpOk(request.get())) return kConfigDownloadFailed;
        char buffer[kVersionTextMax];
        DWORD total = 0;
        DWORD read = 0;
        do {
            if (!InternetReadFile(request.get(), buffer + total, kVersionTextMax - total, &read))
                return kConfigDownloadFailed;
            total += read;
        } while (read != 0 && total < kVersionTextMax);
        // The text ends at the first zero byte, if there is one.
        offered.assign(buffer, std::find(buffer, buffer + total, '\0'));
    }
    if (offered.empty()) return kConfigDownloadFailed;

    const std::wstring exePath = GetExePath();
    const std::string running = GetFileVersionString(exePath);
    if (running.empty()) return kNoExecutableVersion;
    if (CompareVersions(offered, running) != 1) return kNotNewer;
    const update::Version offeredVersion = *update::ParseVersion(offered);
    if (!confirm()) return kDeclined;

    const StagingFolder staging;
    if (!staging.ok()) return kFileDownloadFailed;
    const std::wstring exeName = FileNameOf(exePath);
    const std::string exeUrl = baseUrl + ui::Narrow(exeName);
    const std::wstring newExe = staging.File(exeName);
    const std::wstring signature = staging.File(exeName + ui::Widen(kSignatureSuffix));
    const std::wstring readme = staging.File(ui::Widen(kReadmeFile));

    // Everything is fetched before anything is changed, so a failed
    // download leaves the program as it was.
    switch (FetchToFile(exeUrl, newExe)) {
    case Fetch::kOk: break;
    case Fetch::kOpenFailed: return kOpenFailed;
    default: return kFileDownloadFailed;
    }
    switch (FetchToFile(exeUrl + kSignatureSuffix, signature)) {
    case Fetch::kOk: break;
    case Fetch::kOpenFailed: return kOpenFailed;
    case Fetch::kNotServed: return kBadSignature;  // an unsigned release
    default: return kFileDownloadFailed;
    }
    switch (FetchToFile(baseUrl + kReadmeFile, readme)) {
    case Fetch::kOk: break;
    case Fetch::kOpenFailed: return kOpenFailed;
    default: return kFileDownloadFailed;
    }

    // The signature first: nothing of an unauthenticated file is parsed.
    std::vector<unsigned char> signatureBytes;
    if (!ReadSmallFile(signature, kSignatureMax, &signatureBytes) ||
        !update::VerifyFileSignature(newExe, signatureBytes, update::kReleasePublicKey, update::kReleasePublicKeySize))
        return kBadSignature;
    if (!IsExecutableOfVersion(newExe, offeredVersion)) return kBadExecutable;

    if (!SwitchExecutable(exePath, newExe, false)) return kSwitchFailed;
    // The release notes follow the executable; the program is updated even
    // if they cannot be put beside it.
    MoveFileExW(readme.c_str(), (FolderOf(exePath) + L"\\" + ui::Widen(kReadmeFile)).c_str(),
                MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED);
    return kUpdated;
}
