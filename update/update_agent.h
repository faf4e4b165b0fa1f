// The self-update: fetches the maker's newest release from a download folder
// on the web and puts it in place of the running executable, to take effect
// at the next start. Runs synchronously on the calling (GUI) thread.
//
// A release is installed only when all of it arrived (every file answered
// with HTTP 200 and as long as it said), it carries the maker's signature,
// and it is a Windows executable of the offered version; otherwise the
// program is left as it was. The executable is checked in memory and
// installed through one file handle that lets no one else write, rename or
// delete the file meanwhile, so what was checked is what is installed.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <functional>
#include <string>
#include <vector>

#include "ui/scoped_handle.h"

namespace update {
// A WinInet session, connection or request.
using InternetHandle = ui::UniqueHandle<HINTERNET, InternetCloseHandle>;
}  // namespace update

class CUpdateAgent {
public:
    // Update's result codes.
    enum Result {
        kUpdated = 0,             // executable replaced and readme.txt fetched
        kNoConnection = 1,        // no Internet handle, or the system reports no connection
        kOpenFailed = 2,          // a file of the download folder could not be opened
        kConfigDownloadFailed = 3,  // update.txt did not arrive or was empty
        kFileDownloadFailed = 4,  // the executable, its signature or readme.txt did not arrive whole
        kNoExecutableVersion = 5,  // the running executable has no readable version
        kNotNewer = 6,            // the offered version is not newer (or update.txt is malformed)
        kDeclined = 7,            // the user declined the update
        kSwitchFailed = 8,        // the executable could not be switched (the old one is back)
        kBadSignature = 9,        // the executable's signature is missing or not the maker's
        kBadExecutable = 10,      // not a Windows executable of the offered version
        kNoReleaseKey = 11,       // the build trusts no release key: nothing is fetched
        kRestoreFailed = 12,      // the switch failed and the old executable is left as OldExecutable.bak
    };

    CUpdateAgent();
    ~CUpdateAgent() = default;
    CUpdateAgent(const CUpdateAgent&) = delete;
    CUpdateAgent& operator=(const CUpdateAgent&) = delete;

    // baseUrl: the download folder, ending in "/". confirm asks the user
    // whether to install the newer version; false declines.
    int Update(const std::string& baseUrl, const std::function<bool()>& confirm);

    // A sent GET request and the connection it belongs to (closing that
    // first would end the request).
    struct UrlRequest {
        update::InternetHandle connection;
        update::InternetHandle request;
        HINTERNET get() const { return request.get(); }
    };
    // Sends a request for url (UTF-8, http or https); false when it could
    // not be sent or no answer came within the time-outs.
    bool OpenUrl(const std::string& url, UrlRequest* out) const;
    // What the request yields, at most limit bytes; false when a read
    // failed, the server stalled past the deadline, or fewer bytes arrived
    // than its Content-Length announced.
    static bool Download(HINTERNET request, unsigned long long limit, std::vector<unsigned char>* out);
    // "2.0.0.1" from the file's version resource, or the empty text.
    static std::string GetFileVersionString(const std::wstring& path);
    // 1 offered newer, 0 equal, -1 older, -21/-22 offered/running malformed.
    static int CompareVersions(const std::string& offered, const std::string& running);
    enum class Switch { kDone, kFailedRestored, kFailedNotRestored };
    // Moves the executable to OldExecutable.bak beside it and the file open
    // as staged (with DELETE access) in its place; when that fails the backup
    // is moved back, and kFailedNotRestored says that failed too.
    static Switch SwitchExecutable(const std::wstring& exePath, HANDLE staged);
    // Moves OldExecutable.bak back under the executable's name, replacing
    // whatever is there; false when it could not.
    static bool RestoreBackup(const std::wstring& exePath);

    // Where downloads wait until they are checked: a folder of the agent's
    // own in the user's temporary folder, emptied before and after each update.
    static std::wstring DownloadFolder();

private:
    // kNotServed: the server answered with another status than 200.
    enum class Fetch { kOk, kOpenFailed, kNotServed, kIncomplete };
    Fetch FetchBytes(const std::string& url, unsigned long long limit, std::vector<unsigned char>* out) const;

    update::InternetHandle m_hInternet;
};
