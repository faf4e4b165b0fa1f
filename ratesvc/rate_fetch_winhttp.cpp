// One GET with WinHTTP: the system's own TLS and certificate store, and its
// proxy settings. Certificate checks stay as WinHTTP does them, but for one
// case: a request's certificate file takes the place of the system's roots.
// WinHTTP is then told to pass an unknown root and a name it cannot match
// (Wine's does not match an IP address), and both checks are made here
// instead, before the request goes out: the server's chain must be sound up
// to one of the file's certificates, and the certificate must name the host.
// The service runs it in a short-lived child process (rate_fetch_win.cpp),
// so WinHTTP and its TLS stack never stay resident.
#include <windows.h>
#include <wincrypt.h>
#include <winhttp.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <memory>
#include <string_view>
#include <vector>

#include "rate_fetch_win.h"
#include "source_address.h"
#include "ui/scoped_handle.h"
#include "ui/text.h"

namespace ratesvc {

namespace {


using Handle = ui::UniqueHandle<HINTERNET, WinHttpCloseHandle>;

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

// crypt32's calls for a certificate file, looked up when one is given:
// linked in, the DLL would be mapped by the service as well, which never
// checks a certificate itself.
struct Crypt32 {
    decltype(&CertOpenStore) openStore = nullptr;
    decltype(&CertCloseStore) closeStore = nullptr;
    decltype(&CertAddEncodedCertificateToStore) addEncoded = nullptr;
    decltype(&CertFreeCertificateContext) freeCertificate = nullptr;
    decltype(&CertGetCertificateChain) getChain = nullptr;
    decltype(&CertFreeCertificateChain) freeChain = nullptr;
    decltype(&CryptStringToBinaryA) fromBase64 = nullptr;
    decltype(&CertFindExtension) findExtension = nullptr;
    decltype(&CryptDecodeObjectEx) decode = nullptr;
    decltype(&CertGetNameStringW) getName = nullptr;

    bool Load() {
        const HMODULE dll = LoadLibraryExW(L"crypt32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        return dll && Find(dll, "CertOpenStore", openStore) && Find(dll, "CertCloseStore", closeStore) &&
               Find(dll, "CertAddEncodedCertificateToStore", addEncoded) &&
               Find(dll, "CertFreeCertificateContext", freeCertificate) &&
               Find(dll, "CertGetCertificateChain", getChain) && Find(dll, "CertFreeCertificateChain", freeChain) &&
               Find(dll, "CryptStringToBinaryA", fromBase64) && Find(dll, "CertFindExtension", findExtension) &&
               Find(dll, "CryptDecodeObjectEx", decode) && Find(dll, "CertGetNameStringW", getName);
    }
    template <class F>
    static bool Find(HMODULE dll, const char* name, F& f) {
        f = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
        return f != nullptr;
    }
};

constexpr size_t kMaxCaFile = 1 << 20;  // a bundle of every public root is a quarter of this

// The certificates of a request's file (PEM), which vouch for the servers
// of its hops instead of the system's roots.
class CTrustFile {
public:
    CTrustFile() = default;
    CTrustFile(const CTrustFile&) = delete;
    CTrustFile& operator=(const CTrustFile&) = delete;
    ~CTrustFile() {
        if (m_store) m_api.closeStore(m_store, 0);
    }

    bool Load(const std::string& path, std::string& error) {
        m_strPath = path;
        std::string text;
        if (!ReadText(path, text)) {
            error = "cannot read the certificate file " + path;
            return false;
        }
        if (!m_api.Load() || !(m_store = m_api.openStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr))) {
            error = "cannot check certificates (crypt32 error " + std::to_string(GetLastError()) + ")";
            return false;
        }
        constexpr std::string_view kBegin = "-----BEGIN CERTIFICATE-----", kEnd = "-----END CERTIFICATE-----";
        for (size_t at = text.find(kBegin); at != std::string::npos; at = text.find(kBegin, at)) {
            const size_t end = text.find(kEnd, at);
            if (end == std::string::npos) break;
            const char* base64 = text.data() + at + kBegin.size();
            const auto length = static_cast<DWORD>(end - at - kBegin.size());
            at = end + kEnd.size();
            DWORD size = 0;
            if (!m_api.fromBase64(base64, length, CRYPT_STRING_BASE64, nullptr, &size, nullptr, nullptr) || !size)
                continue;
            std::string der(size, '\0');
            if (!m_api.fromBase64(base64, length, CRYPT_STRING_BASE64, reinterpret_cast<BYTE*>(der.data()), &size,
                                  nullptr, nullptr) ||
                !m_api.addEncoded(m_store, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()), size,
                                  CERT_STORE_ADD_ALWAYS, nullptr))
                continue;
            der.resize(size);
            m_ders.push_back(std::move(der));
        }
        if (m_ders.empty()) {
            error = "no certificate in " + path;
            return false;
        }
        return true;
    }

    // The server's chain, built with the file's certificates at hand, is
    // sound up to one of them: a certificate of the file is an anchor, as
    // curl takes it, whether it is a root or not.
    bool Vouches(const CERT_CONTEXT* server) const {
        LPSTR serverAuth[] = {const_cast<LPSTR>(szOID_PKIX_KP_SERVER_AUTH)};
        CERT_CHAIN_PARA para{};
        para.cbSize = sizeof para;
        para.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
        para.RequestedUsage.Usage.cUsageIdentifier = 1;
        para.RequestedUsage.Usage.rgpszUsageIdentifier = serverAuth;
        const CERT_CHAIN_CONTEXT* chain = nullptr;
        if (!m_api.getChain(nullptr, server, nullptr, m_store, &para, 0, nullptr, &chain) || !chain) return false;
        bool anchored = false;
        if (chain->cChain > 0) {
            const CERT_SIMPLE_CHAIN* simple = chain->rgpChain[0];
            // That the system does not know the file's root is the point of
            // the file; anything else wrong up to the anchor is not.
            constexpr DWORD kExpected = CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_IS_PARTIAL_CHAIN;
            for (DWORD i = 0; i < simple->cElement; ++i) {
                const CERT_CHAIN_ELEMENT* element = simple->rgpElement[i];
                if (element->TrustStatus.dwErrorStatus & ~kExpected) break;
                if (InFile(element->pCertContext)) {
                    anchored = true;
                    break;
                }
            }
        }
        m_api.freeChain(chain);
        return anchored;
    }

    // The certificate names `host` (as a URL gives it): one of its DNS or
    // IPv4 alternative names, or without any, its common name. A DNS name
    // may start with a wildcard for one label; an IPv6 host is never matched.
    bool Names(const CERT_CONTEXT* certificate, const std::wstring& host) const {
        BYTE ip[4];
        const bool isIp = ParseIpv4(host, ip);
        const CERT_EXTENSION* extension = m_api.findExtension(
            szOID_SUBJECT_ALT_NAME2, certificate->pCertInfo->cExtension, certificate->pCertInfo->rgExtension);
        if (!extension) {
            wchar_t common[256] = {};
            m_api.getName(certificate, CERT_NAME_ATTR_TYPE, 0, const_cast<char*>(szOID_COMMON_NAME), common, 256);
            return isIp ? _wcsicmp(common, host.c_str()) == 0 : DnsNameMatches(common, host);
        }
        CERT_ALT_NAME_INFO* names = nullptr;
        DWORD size = 0;
        if (!m_api.decode(X509_ASN_ENCODING, X509_ALTERNATE_NAME, extension->Value.pbData, extension->Value.cbData,
                          CRYPT_DECODE_ALLOC_FLAG, nullptr, &names, &size) ||
            !names)
            return false;
        bool named = false;
        for (DWORD i = 0; i < names->cAltEntry && !named; ++i) {
            const CERT_ALT_NAME_ENTRY& name = names->rgAltEntry[i];
            if (name.dwAltNameChoice == CERT_ALT_NAME_DNS_NAME) named = !isIp && DnsNameMatches(name.pwszDNSName, host);
            else if (name.dwAltNameChoice == CERT_ALT_NAME_IP_ADDRESS)
                named = isIp && name.IPAddress.cbData == 4 && std::equal(ip, ip + 4, name.IPAddress.pbData);
        }
        LocalFree(names);
        return named;
    }

    void Release(const CERT_CONTEXT* certificate) const { m_api.freeCertificate(certificate); }
    const std::string& path() const { return m_strPath; }

private:
    static bool ReadText(const std::string& path, std::string& text) {
        const HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return false;
        LARGE_INTEGER size{};
        bool ok = GetFileSizeEx(file, &size) && size.QuadPart > 0 && size.QuadPart <= static_cast<LONGLONG>(kMaxCaFile);
        if (ok) {
            text.resize(static_cast<size_t>(size.QuadPart));
            DWORD got = 0;
            ok = ::ReadFile(file, text.data(), static_cast<DWORD>(text.size()), &got, nullptr) && got == text.size();
        }
        CloseHandle(file);
        return ok;
    }
    static bool ParseIpv4(const std::wstring& host, BYTE (&ip)[4]) {
        size_t at = 0;
        for (int part = 0; part < 4; ++part) {
            if (part > 0 && (at >= host.size() || host[at++] != L'.')) return false;
            unsigned value = 0;
            const size_t start = at;
            while (at < host.size() && at - start < 3 && host[at] >= L'0' && host[at] <= L'9')
                value = value * 10 + static_cast<unsigned>(host[at++] - L'0');
            if (at == start || value > 255) return false;
            ip[part] = static_cast<BYTE>(value);
        }
        return at == host.size();
    }
    static bool DnsNameMatches(const wchar_t* pattern, const std::wstring& host) {
        if (!pattern || !*pattern || host.empty()) return false;
        const std::wstring name(pattern);
        if (name.compare(0, 2, L"*.") != 0) return _wcsicmp(name.c_str(), host.c_str()) == 0;
        // "*.example.com": one more label, never a bare top-level domain.
        const std::wstring rest = name.substr(1);
        const size_t dot = host.find(L'.');
        return rest.find(L'.', 1) != std::wstring::npos && dot != std::wstring::npos && dot > 0 &&
               _wcsicmp(host.c_str() + dot, rest.c_str()) == 0;
    }
    bool InFile(const CERT_CONTEXT* certificate) const {
        const std::string_view der(reinterpret_cast<const char*>(certificate->pbCertEncoded), certificate->cbCertEncoded);
        return std::find(m_ders.begin(), m_ders.end(), der) != m_ders.end();
    }

    Crypt32 m_api;
    HCERTSTORE m_store = nullptr;
    std::vector<std::string> m_ders;
    std::string m_strPath;
};

// Where the hop about to be sent goes: the request's URL, then each
// redirect's (WinHTTP under Wine cannot be asked for it).
struct HopCheck {
    const CTrustFile* trust;  // null: WinHTTP's own certificate checks
    UntrustedExit untrusted;
    bool secure;
    std::wstring host;
    AddressKind origin;  // of the request's own host
    bool checked = false;  // the current hop's server passed, if it is secure

    void Follow(const wchar_t* location) {
        checked = false;
        URL_COMPONENTS parts{};
        parts.dwStructSize = sizeof parts;
        parts.dwHostNameLength = static_cast<DWORD>(-1);
        if (!location || !WinHttpCrackUrl(location, 0, 0, &parts)) return;  // a path on the same server
        secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
        host.assign(parts.lpszHostName, parts.dwHostNameLength);
    }
};

// Whether the file vouches for the server of the hop about to be sent;
// false with the reason.
bool HopTrusted(HINTERNET request, const HopCheck& hop, std::string& why) {
    if (!hop.secure) return true;  // no certificate to vouch for
    const CERT_CONTEXT* server = nullptr;
    DWORD bytes = sizeof server;
    if (!WinHttpQueryOption(request, WINHTTP_OPTION_SERVER_CERT_CONTEXT, &server, &bytes) || !server) {
        why = "no secure connection (the server's certificate cannot be read)";
        return false;
    }
    const bool vouched = hop.trust->Vouches(server), named = vouched && hop.trust->Names(server, hop.host);
    hop.trust->Release(server);
    if (!vouched) why = "no secure connection (the certificate is not trusted by " + hop.trust->path() + ")";
    else if (!named) why = "no secure connection (the certificate is not for " + ui::Narrow(hop.host) + ")";
    return named;
}

// Runs once the connection of each hop is up, before its request is sent,
// and at each redirect.
void CALLBACK BeforeSending(HINTERNET request, DWORD_PTR context, DWORD status, void* info, DWORD) {
    auto* hop = reinterpret_cast<HopCheck*>(context);
    if (!hop) return;
    if (status == WINHTTP_CALLBACK_STATUS_REDIRECT) hop->Follow(static_cast<const wchar_t*>(info));
    if (status == WINHTTP_CALLBACK_STATUS_CONNECTING_TO_SERVER && info) {
        // A source on the Internet never leads here to this computer or the
        // local network, whatever a redirect or a name's resolution says.
        std::string address = ui::Narrow(static_cast<const wchar_t*>(info));
        if (address.find(':') != std::string::npos) address = "[" + address + "]";
        if (!MayConnect(hop->origin, KindOfHost(address)))
            hop->untrusted("led from the Internet to this computer or the local network; refused");
        return;
    }
    if (status != WINHTTP_CALLBACK_STATUS_SENDING_REQUEST || !hop->trust) return;
    std::string why;
    if (!HopTrusted(request, *hop, why)) hop->untrusted(why);
    hop->checked = true;
}

// `value` passed CValidators' checks: no control bytes, a bounded length.
bool AddHeader(HINTERNET request, const char* name, const std::string& value) {
    if (value.empty()) return true;
    const std::wstring line = Wide(std::string(name) + ": " + value);
    return WinHttpAddRequestHeaders(request, line.c_str(), static_cast<DWORD>(line.size()), WINHTTP_ADDREQ_FLAG_ADD);
}

}  // namespace

bool WinHttpGet(const CHttpRequest& req, const std::atomic<bool>& stop, CHttpAnswer& answer, std::string& error,
                UntrustedExit untrusted) {
    std::unique_ptr<CTrustFile> trust;
    if (!req.strCaFile.empty()) {
        if (!untrusted) {
            error = "a certificate file is trusted only in the service's fetch process; install the certificate "
                    "for the user instead";
            return false;
        }
        trust = std::make_unique<CTrustFile>();
        if (!trust->Load(req.strCaFile, error)) return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + req.deadline;
    // No single wait of WinHTTP's may outlast the whole transfer's.
    const auto limitMs = std::chrono::duration_cast<std::chrono::milliseconds>(req.deadline).count();
    const auto within = [&](int ms) { return static_cast<int>(std::max<long long>(1, std::min<long long>(ms, limitMs))); };
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

    Handle session(WinHttpOpen(Wide(req.strUserAgent).c_str(), WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                               WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session) {
        error = ErrorText("cannot start a transfer");
        return false;
    }
    const int connectMs = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(req.connectTimeout).count());
    WinHttpSetTimeouts(session.get(), within(connectMs), within(connectMs), within(INT_MAX), within(INT_MAX));
    // An https source never ends on plain http, whatever a redirect says.
    DWORD policy = WINHTTP_OPTION_REDIRECT_POLICY_DISALLOW_HTTPS_TO_HTTP;
    WinHttpSetOption(session.get(), WINHTTP_OPTION_REDIRECT_POLICY, &policy, sizeof policy);
    DWORD redirects = static_cast<DWORD>(req.nMaxRedirects);
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
    HopCheck hop{trust.get(), untrusted, flags != 0, host, KindOfUrlHost(req.strUrl)};
    // Certificates checked against the file, and each connection's address,
    // in BeforeSending: only where a refusal can end the process before
    // anything is sent (the fetch child).
    if (trust) {
        DWORD security = SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_CN_INVALID;
        if (flags && !WinHttpSetOption(request.get(), WINHTTP_OPTION_SECURITY_FLAGS, &security, sizeof security)) {
            error = ErrorText("cannot start a transfer");
            return false;
        }
    }
    if (untrusted && WinHttpSetStatusCallback(request.get(), BeforeSending,
                                              WINHTTP_CALLBACK_FLAG_SEND_REQUEST | WINHTTP_CALLBACK_FLAG_REDIRECT |
                                                  WINHTTP_CALLBACK_FLAG_CONNECT_TO_SERVER,
                                              0) == WINHTTP_INVALID_STATUS_CALLBACK) {
        error = ErrorText("cannot start a transfer");
        return false;
    }
    if (!WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0,
                            untrusted ? reinterpret_cast<DWORD_PTR>(&hop) : 0)) {
        error = ErrorText("cannot send the request");
        return false;
    }
    if (!WinHttpReceiveResponse(request.get(), nullptr)) {
        error = ErrorText("no answer");
        return false;
    }
    if (trust && hop.secure && !hop.checked) {
        // WinHTTP let a hop pass without the call that checks it: its answer
        // is not taken.
        error = "no secure connection (the server's certificate was not checked)";
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
        // What has arrived, no more: a read of a whole buffer would wait for
        // it to fill (under Wine), past the deadline of a dripping answer.
        DWORD ready = 0, got = 0;
        if (!WinHttpQueryDataAvailable(request.get(), &ready) ||
            (ready > 0 && !WinHttpReadData(request.get(), chunk.data(),
                                           std::min(ready, static_cast<DWORD>(chunk.size())), &got))) {
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
    answer.validators = {};
    // The final response's (after redirects), through the same rules as the
    // native fetcher's header lines.
    if (const std::string etag = Header(request.get(), WINHTTP_QUERY_ETAG); !etag.empty())
        answer.validators.OnHeaderLine("ETag: " + etag);
    if (const std::string modified = Header(request.get(), WINHTTP_QUERY_LAST_MODIFIED); !modified.empty())
        answer.validators.OnHeaderLine("Last-Modified: " + modified);
    if (const std::string retryAfter = Header(request.get(), WINHTTP_QUERY_RETRY_AFTER); !retryAfter.empty())
        answer.validators.OnHeaderLine("Retry-After: " + retryAfter);
    return true;
}

}  // namespace ratesvc
