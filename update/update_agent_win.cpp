#include "update/update_agent.h"

#include <algorithm>
#include <vector>

#include "ui/file_win.h"
#include "ui/scoped_handle.h"
#include "ui/text.h"
#include "update/pe_image.h"
#include "update/release_notes.h"
#include "update/release_signature.h"
#include "update/version.h"

namespace {

constexpr char kAgentName[] = "AutoUpdateAgent";
constexpr char kVersionFile[] = "update.txt";
constexpr char kReadmeFile[] = "readme.txt";
constexpr char kSignatureSuffix[] = ".sig";
constexpr wchar_t kBackupName[] = L"OldExecutable.bak";
constexpr wchar_t kReadmeTemp[] = L"readme.txt.new";
constexpr DWORD kVersionTextMax = 4096;
constexpr DWORD kReadChunk = 64 * 1024;
// A signature is a few hundred bytes; anything much larger is not one.
constexpr unsigned long long kSignatureMax = 64 * 1024;
// No release comes near this; the download is held in memory until checked.
constexpr unsigned long long kDownloadMax = 64ull * 1024 * 1024;
// Each connect, send and receive, so a server that stops answering cannot
// hold the GUI thread for ever...
constexpr DWORD kNetworkTimeoutMs = 30 * 1000;
// ...and one download as a whole, so neither can one that sends a byte now
// and then.
constexpr ULONGLONG kDownloadDeadlineMs = 10 * 60 * 1000;

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

// The announced length: -1 when there is none (chunked or up to the close),
// -2 when the header is not a plain decimal number.
long long ContentLength(HINTERNET request) {
    wchar_t text[32] = {};
    DWORD size = sizeof(text) - sizeof(wchar_t);
    if (!HttpQueryInfoW(request, HTTP_QUERY_CONTENT_LENGTH, text, &size, nullptr))
        return GetLastError() == ERROR_HTTP_HEADER_NOT_FOUND ? -1 : -2;
    long long value = 0;
    const wchar_t* p = text;
    if (!*p) return -2;
    for (; *p; ++p) {
        if (*p < L'0' || *p > L'9' || value > (1ll << 50)) return -2;
        value = value * 10 + (*p - L'0');
    }
    return value;
}

WORD RunningMachine() {
    const auto* base = reinterpret_cast<const BYTE*>(GetModuleHandleW(nullptr));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    return reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew)->FileHeader.Machine;
}

// Checked after its signature: an image for this machine whose version
// resource names exactly the offered version.
bool IsExecutableOfVersion(const std::vector<unsigned char>& image, const update::Version& offered) {
    if (!update::IsWindowsExecutable(image.data(), std::min<size_t>(image.size(), update::kPeHeaderBytes),
                                     RunningMachine()))
        return false;
    const std::optional<update::Version> version = update::FindFileVersion(image.data(), image.size());
    return version && *version == offered;
}

void SetTimeouts(HINTERNET handle) {
    DWORD timeout = kNetworkTimeoutMs;
    for (const DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                               INTERNET_OPTION_RECEIVE_TIMEOUT, INTERNET_OPTION_DATA_SEND_TIMEOUT,
                               INTERNET_OPTION_DATA_RECEIVE_TIMEOUT})
        InternetSetOptionW(handle, option, &timeout, sizeof(timeout));
}

bool IsReparsePoint(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }

// The name NtSetInformationFile wants for a rename target.
std::wstring NtPath(const std::wstring& path) {
    if (path.rfind(L"\\\\?\\", 0) == 0) return L"\\??\\" + path.substr(4);
    if (path.rfind(L"\\\\", 0) == 0) return L"\\??\\UNC\\" + path.substr(2);
    return L"\\??\\" + path;
}

// Renames the file open as file (with DELETE access) to path, not
// replacing anything there.
bool RenameByHandle(HANDLE file, const std::wstring& path) {
    const std::wstring target = NtPath(path);
    std::vector<BYTE> buffer(sizeof(FILE_RENAME_INFO) + target.size() * sizeof(wchar_t));
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = FALSE;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(target.size() * sizeof(wchar_t));
    std::copy(target.begin(), target.end(), info->FileName);
    return SetFileInformationByHandle(file, FileRenameInfo, info, static_cast<DWORD>(buffer.size())) != FALSE;
}

// Copies what the handle holds into a new file at path that no one else may
// open meanwhile (a move across volumes).
bool CopyByHandle(HANDLE from, const std::wstring& path) {
    LARGE_INTEGER start = {};
    if (!SetFilePointerEx(from, start, nullptr, FILE_BEGIN)) return false;
    ui::ScopedHandle to(CreateFileW(path.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!to) return false;
    std::vector<unsigned char> buffer(kReadChunk);
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(from, buffer.data(), kReadChunk, &read, nullptr)) break;
        if (read == 0) return true;
        if (!ui::WriteAll(to.get(), buffer.data(), read)) break;
    }
    // Never leave half a program under the executable's name.
    FILE_DISPOSITION_INFO dispose = {TRUE};
    SetFileInformationByHandle(to.get(), FileDispositionInfo, &dispose, sizeof(dispose));
    return false;
}

void DeleteFilesIn(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        // A link is deleted itself; what it points at is not touched.
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileW((folder + L"\\" + found.cFileName).c_str());
    } while (FindNextFileW(find, &found));
    FindClose(find);
}

// The download folder for one update: emptied of an earlier run's leftovers
// when made, and emptied and removed again whatever the update's outcome.
// It must be a plain folder: a junction or link planted there beforehand
// would send the downloads (and the clean-up's deletions) wherever its maker
// chose. It is held open without delete sharing, so it cannot be renamed
// or swapped for one while the update runs.
class StagingFolder {
public:
    StagingFolder() : path_(CUpdateAgent::DownloadFolder()) {
        if (path_.empty()) return;
        if (!CreateDirectoryW(path_.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return;
        folder_.reset(CreateFileW(path_.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        BY_HANDLE_FILE_INFORMATION info = {};
        if (!folder_ || !GetFileInformationByHandle(folder_.get(), &info) ||
            !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || IsReparsePoint(info.dwFileAttributes) ||
            IsReparsePoint(GetFileAttributesW(path_.c_str()))) {
            folder_.reset();
            return;
        }
        DeleteFilesIn(path_);
        ok_ = true;
    }
    ~StagingFolder() {
        if (!ok_) return;  // a refused folder is left alone
        DeleteFilesIn(path_);
        folder_.reset();
        RemoveDirectoryW(path_.c_str());
    }
    StagingFolder(const StagingFolder&) = delete;
    StagingFolder& operator=(const StagingFolder&) = delete;

    bool ok() const { return ok_; }
    std::wstring File(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
    ui::ScopedHandle folder_;
    bool ok_ = false;
};

// Puts the release notes beside the executable: written to a new file of
// their own there and moved over readme.txt, never through whatever
// readme.txt is (a link or junction planted under that name is refused).
bool InstallReadme(const std::wstring& folder, const std::vector<unsigned char>& text) {
    const std::wstring target = folder + L"\\" + ui::Widen(kReadmeFile);
    const DWORD existing = GetFileAttributesW(target.c_str());
    if (existing != INVALID_FILE_ATTRIBUTES && (IsReparsePoint(existing) || (existing & FILE_ATTRIBUTE_DIRECTORY)))
        return false;
    const std::wstring temp = folder + L"\\" + kReadmeTemp;
    DeleteFileW(temp.c_str());  // a leftover of an interrupted update
    {
        ui::ScopedHandle file(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file || !ui::WriteAll(file.get(), text.data(), text.size())) {
            file.reset();
            DeleteFileW(temp.c_str());
            return false;
        }
    }
    // Replacing moves the name: a hard link at readme.txt is unlinked, its
    // other names keep their contents.
    if (MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
    DeleteFileW(temp.c_str());
    return false;
}

}  // namespace

CUpdateAgent::CUpdateAgent()
    : m_hInternet(InternetOpenW(ui::Widen(kAgentName).c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0)) {
    if (m_hInternet) SetTimeouts(m_hInternet.get());
}

bool CUpdateAgent::OpenUrl(const std::string& url, UrlRequest* out) const {
    const std::wstring wide = ui::Widen(url);
    URL_COMPONENTSW parts = {};
    parts.dwStructSize = sizeof(parts);
    parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength = 1;  // pointers into wide
    if (!m_hInternet || !InternetCrackUrlW(wide.c_str(), 0, 0, &parts)) return false;
    if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) return false;
    const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);
    path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    // Connection and request handles of their own rather than
    // InternetOpenUrl's, so the time-outs are set on the very handles
    // that wait (some WinInets do not pass the session's on).
    out->request.reset();
    out->connection.reset(InternetConnectW(m_hInternet.get(), host.c_str(), parts.nPort, nullptr, nullptr,
                                           INTERNET_SERVICE_HTTP, 0, 0));
    if (!out->connection) return false;
    SetTimeouts(out->connection.get());
    const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_RESYNCHRONIZE | INTERNET_FLAG_HYPERLINK |
                        INTERNET_FLAG_NEED_FILE | (parts.nScheme == INTERNET_SCHEME_HTTPS ? INTERNET_FLAG_SECURE : 0);
    out->request.reset(HttpOpenRequestW(out->connection.get(), L"GET", path.empty() ? L"/" : path.c_str(), nullptr,
                                        nullptr, nullptr, flags, 0));
    if (!out->request) return false;
    SetTimeouts(out->request.get());
    return HttpSendRequestW(out->request.get(), nullptr, 0, nullptr, 0) != FALSE;
}

bool CUpdateAgent::Download(HINTERNET request, unsigned long long limit, std::vector<unsigned char>* out) {
    out->clear();
    const long long announced = ContentLength(request);
    if (announced == -2 || (announced >= 0 && static_cast<unsigned long long>(announced) > limit)) return false;
    const ULONGLONG deadline = GetTickCount64() + kDownloadDeadlineMs;
    std::vector<BYTE> buffer(kReadChunk);
    for (;;) {
        DWORD read = 0;
        if (!InternetReadFile(request, buffer.data(), kReadChunk, &read)) return false;
        // A zero-byte read also ends a connection closed early: only the
        // announced length tells a whole file from a cut one.
        if (read == 0) return announced < 0 || out->size() == static_cast<unsigned long long>(announced);
        if (out->size() + read > limit || GetTickCount64() > deadline) return false;
        out->insert(out->end(), buffer.data(), buffer.data() + read);
    }
}

CUpdateAgent::Fetch CUpdateAgent::FetchBytes(const std::string& url, unsigned long long limit,
                                             std::vector<unsigned char>* out) const {
    UrlRequest request;
    if (!OpenUrl(url, &request)) return Fetch::kOpenFailed;
    if (!IsHttpOk(request.get())) return Fetch::kNotServed;
    return Download(request.get(), limit, out) ? Fetch::kOk : Fetch::kIncomplete;
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

CUpdateAgent::Switch CUpdateAgent::SwitchExecutable(const std::wstring& exePath, HANDLE staged) {
    const std::wstring backup = FolderOf(exePath) + L"\\" + kBackupName;
    DeleteFileW(backup.c_str());  // there may be no earlier backup
    if (!MoveFileExW(exePath.c_str(), backup.c_str(), MOVEFILE_COPY_ALLOWED)) return Switch::kFailedRestored;
    // A rename keeps the checked file itself; across volumes its bytes are
    // copied from the same handle.
    if (RenameByHandle(staged, exePath) || (GetLastError() == ERROR_NOT_SAME_DEVICE && CopyByHandle(staged, exePath)))
        return Switch::kDone;
    // Never leave the user without a program.
    return RestoreBackup(exePath) ? Switch::kFailedRestored : Switch::kFailedNotRestored;
}

bool CUpdateAgent::RestoreBackup(const std::wstring& exePath) {
    const std::wstring backup = FolderOf(exePath) + L"\\" + kBackupName;
    return MoveFileExW(backup.c_str(), exePath.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED) != FALSE;
}

std::wstring CUpdateAgent::DownloadFolder() {
    wchar_t temp[MAX_PATH + 1] = {};
    const DWORD n = GetTempPathW(MAX_PATH + 1, temp);
    if (n == 0 || n > MAX_PATH) return std::wstring();
    std::wstring name = FileNameOf(ui::ExecutablePath());
    if (const size_t dot = name.find_last_of(L'.'); dot != std::wstring::npos) name.resize(dot);
    return std::wstring(temp) + name + L"-update";
}

int CUpdateAgent::Update(const std::string& baseUrl, const std::function<bool()>& confirm) {
    // Without a key of its maker's the program could not tell a release
    // from anyone's file: it asks no server anything.
    if (!update::HasReleaseKey()) return kNoReleaseKey;
    if (!m_hInternet) return kNoConnection;
    DWORD connection = 0;
    if (!InternetGetConnectedState(&connection, 0)) return kNoConnection;

    std::string offered;
    {
        UrlRequest request;
        if (!OpenUrl(baseUrl + kVersionFile, &request)) return kOpenFailed;
        if (!IsHttpOk(request.get())) return kConfigDownloadFailed;
        // Only the first bytes count, up to the first zero byte if there is one.
        char buffer[kVersionTextMax];
        DWORD total = 0;
        DWORD read = 0;
        do {
            if (!InternetReadFile(request.get(), buffer + total, kVersionTextMax - total, &read))
                return kConfigDownloadFailed;
            total += read;
        } while (read != 0 && total < kVersionTextMax);
        offered.assign(buffer, std::find(buffer, buffer + total, '\0'));
    }
    if (offered.empty()) return kConfigDownloadFailed;

    const std::wstring exePath = ui::ExecutablePath();
    const std::string running = GetFileVersionString(exePath);
    if (running.empty()) return kNoExecutableVersion;
    if (CompareVersions(offered, running) != 1) return kNotNewer;
    const update::Version offeredVersion = *update::ParseVersion(offered);
    if (!confirm()) return kDeclined;

    const StagingFolder staging;
    if (!staging.ok()) return kFileDownloadFailed;
    const std::wstring exeName = FileNameOf(exePath);
    const std::string exeUrl = baseUrl + ui::Narrow(exeName);

    // Everything is fetched before anything is changed, so a failed
    // download leaves the program as it was.
    std::vector<unsigned char> image, signature, readme;
    switch (FetchBytes(exeUrl, kDownloadMax, &image)) {
    case Fetch::kOk: break;
    case Fetch::kOpenFailed: return kOpenFailed;
    default: return kFileDownloadFailed;
    }
    switch (FetchBytes(exeUrl + kSignatureSuffix, kSignatureMax, &signature)) {
    case Fetch::kOk: break;
    case Fetch::kOpenFailed: return kOpenFailed;
    case Fetch::kNotServed: return kBadSignature;  // an unsigned release
    default: return kFileDownloadFailed;
    }
    switch (FetchBytes(baseUrl + kReadmeFile, update::kReleaseNotesMax, &readme)) {
    case Fetch::kOk: break;
    case Fetch::kOpenFailed: return kOpenFailed;
    default: return kFileDownloadFailed;
    }

    // The signature first: nothing of an unauthenticated file is parsed.
    if (!update::VerifySignature(image.data(), image.size(), signature, update::kReleasePublicKey,
                                 update::kReleasePublicKeySize))
        return kBadSignature;
    if (!IsExecutableOfVersion(image, offeredVersion)) return kBadExecutable;

    // The checked bytes go into a new file that stays open until it is the
    // executable: others may read it, but not write, rename or delete it.
    ui::ScopedHandle staged(CreateFileW(staging.File(exeName).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                                        FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!staged || !ui::WriteAll(staged.get(), image.data(), image.size()) || !FlushFileBuffers(staged.get()))
        return kFileDownloadFailed;
    switch (SwitchExecutable(exePath, staged.get())) {
    case Switch::kDone: break;
    case Switch::kFailedRestored: return kSwitchFailed;
    case Switch::kFailedNotRestored: return kRestoreFailed;
    }
    staged.reset();
    // The release notes follow the executable; the program is updated even
    // if they are not text or cannot be put beside it.
    if (update::IsReleaseNotesText(readme.data(), readme.size())) InstallReadme(FolderOf(exePath), readme);
    return kUpdated;
}
