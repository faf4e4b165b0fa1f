// One GET with WinHTTP: the system's own TLS and certificate store, and its
// proxy settings. Certificate checks stay as WinHTTP does them; no flag here
// ever relaxes them. The service runs it in a short-lived child process
// (rate_fetch_win.cpp), so WinHTTP and its TLS stack never stay resident.
#include <windows.h>
#include <winhttp.h>

#include <chrono>
#include <memory>
#include <vector>

#include "rate_fetch_win.h"
#include "ui/text.h"

namespace ratesvc {

namespace {

constexpr int kResolveTimeoutMs = 10000, kConnectTimeoutMs = 10000;
constexpr int kSendTimeoutMs = 30000, kReceiveTimeoutMs = 30000;
constexpr DWORD kMaxRedirects = 5;

struct InternetDeleter {
    void operator()(void* h) const { WinHttpCloseHandle(h); }
};
using Handle = std::unique_ptr<void, InternetDeleter>;

std::wstring Wide(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    if (n <= 0) return {};
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
    return wide;
}

std::string ErrorText(const char* what, DWORD code = GetLastError()) {
    switch (code) {
    case ERROR_WINHTTP_TIMEOUT: return std::string(what) + ": timed out";
    case ERROR_WINHTTP_CANNOT_CONNECT: return std::string(what) + ": cannot connect";
    case ERROR_WINHTTP_NAME_NOT_RESOLVED: return std::string(what) + ": host not found";
    case ERROR_WINHTTP_SECURE_FAILURE:
    case ERROR_WINHTTP_SECURE_CHANNEL_ERROR:  // what Wine reports for an untrusted certificate
        return std::string(what) + ": no secure connection (the certificate is not trusted, or TLS failed)";
    case ERROR_WINHTTP_REDIRECT_FAILED: return std::string(what) + ": redirect refused";
    case ERROR_WINHTTP_UNRECOGNIZED_SCHEME:
    case ERROR_WINHTTP_INVALID_URL: return std::string(what) + ": not an http or https URL";
    default: return std::string(what) + ": WinHTTP error " + std::to_string(code);
    }
}

// A response header, or empty (also when absurdly long).
std::string Header(HINTERNET request, DWORD which) {
    DWORD bytes = 0;
    WinHttpQueryHeaders(request, which, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER, &bytes, WINHTTP_NO_HEADER_INDEX);
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || bytes == 0 || bytes > 4096) return {};
    std::wstring value(bytes / sizeof(wchar_t) + 1, L'\0');
    if (!WinHttpQueryHeaders(request, which, WINHTTP_HEADER_NAME_BY_INDEX, value.data(), &bytes, WINHTTP_NO_HEADER_INDEX))
        return {};
    value.resize(bytes / sizeof(wchar_t));
    return ui::Narrow(value);
}

// `value` passed CValidators' checks: no control bytes, a bounded length.
bool AddHeader(HINTERNET request, const char* name, const std::string& value) {
    if (value.empty()) return true;
    const std::wstring line = Wide(std::string(name) + ": " + value);
    return WinHttpAddRequestHeaders(request, line.c_str(), static_cast<DWORD>(line.size()), WINHTTP_ADDREQ_FLAG_ADD);
}

}  // namespace

bool WinHttpGet(const CHttpRequest& req, const std::atomic<bool>& stop, CHttpAnswer& answer, std::string& error) {
    if (!req.strCaFile.empty()) {
        // WinHTTP takes its trust from the system's certificate store only.
        error = "a certificate file is not supported here; install the certificate for the user instead";
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + kTransferDeadline;
    const size_t maxBody = req.nMaxBody;
    const std::wstring wideUrl = Wide(req.strUrl);
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (wideUrl.empty() || !WinHttpCrackUrl(wideUrl.c_str(), static_cast<DWORD>(wideUrl.size()), 0, &parts) ||
        (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS)) {
        error = "not an http or https URL";
        return false;
    }
    const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);
    path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);

    Handle session(WinHttpOpen(L"zelvane-ratesvc", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                               WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session) {
        error = ErrorText("cannot start a transfer");
        return false;
    }
    WinHttpSetTimeouts(session.get(), kResolveTimeoutMs, kConnectTimeoutMs, kSendTimeoutMs, kReceiveTimeoutMs);
    // An https source never ends on plain http, whatever a redirect says.
    DWORD policy = WINHTTP_OPTION_REDIRECT_POLICY_DISALLOW_HTTPS_TO_HTTP;
    WinHttpSetOption(session.get(), WINHTTP_OPTION_REDIRECT_POLICY, &policy, sizeof policy);
    DWORD redirects = kMaxRedirects;
    WinHttpSetOption(session.get(), WINHTTP_OPTION_MAX_HTTP_AUTOMATIC_REDIRECTS, &redirects, sizeof redirects);

    Handle connection(WinHttpConnect(session.get(), host.c_str(), parts.nPort, 0));
    if (!connection) {
        error = ErrorText("cannot connect");
        return false;
    }
    const DWORD flags = parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0;
    Handle request(WinHttpOpenRequest(connection.get(), L"GET", path.empty() ? L"/" : path.c_str(), nullptr,
                                      WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, flags));
    if (!request || !AddHeader(request.get(), "If-None-Match", req.strIfNoneMatch) ||
        !AddHeader(request.get(), "If-Modified-Since", req.strIfModifiedSince)) {
        error = ErrorText("cannot start a transfer");
        return false;
    }
    if (!WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0)) {
        error = ErrorText("cannot send the request");
        return false;
    }
    if (!WinHttpReceiveResponse(request.get(), nullptr)) {
        error = ErrorText("no answer");
        return false;
    }
    DWORD status = 0, size = sizeof status;
    if (!WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX)) {
        error = ErrorText("no status");
        return false;
    }

    std::string body;
    std::vector<char> chunk(64 * 1024);
    for (;;) {
        if (stop) {
            error = "stopped";
            return false;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            error = "the transfer took too long";
            return false;
        }
        DWORD got = 0;
        if (!WinHttpReadData(request.get(), chunk.data(), static_cast<DWORD>(chunk.size()), &got)) {
            error = ErrorText("the transfer broke off");
            return false;
        }
        if (got == 0) break;
        if (body.size() + got > maxBody) {
            error = "the answer is larger than " + std::to_string(maxBody >> 20) + " MB";
            return false;
        }
        body.append(chunk.data(), got);
    }
    answer.nStatus = static_cast<long>(status);
    answer.strBody = std::move(body);
    // The final response's (after redirects), through the same rules as the
    // native fetcher's header lines.
    if (const std::string etag = Header(request.get(), WINHTTP_QUERY_ETAG); !etag.empty())
        answer.validators.OnHeaderLine("ETag: " + etag);
    if (const std::string modified = Header(request.get(), WINHTTP_QUERY_LAST_MODIFIED); !modified.empty())
        answer.validators.OnHeaderLine("Last-Modified: " + modified);
    return true;
}

}  // namespace ratesvc
