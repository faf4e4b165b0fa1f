#include "transport/http_url.h"

#include <cstring>

namespace {

struct SchemeEntry {
    const char* name;
    HttpScheme scheme;
    uint16_t port;
};

constexpr SchemeEntry kSchemes[] = {
    {"http", kSchemeHttp, 80},  {"https", kSchemeHttps, 443}, {"ftp", kSchemeFtp, 21},
    {"file", kSchemeFile, 0},   {"mailto", kSchemeMailto, 0},
};

bool NeedsEscape(unsigned char c) {
    if (c < 0x20 || c > 0x7E) return true;
    return std::strchr(" \"$&+,;<=>@[\\]^`{|}", c) != nullptr;
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsNoCase(const std::string& a, const char* b) {
    size_t n = std::strlen(b);
    if (a.size() != n) return false;
    for (size_t i = 0; i < n; ++i)
        if (Lower(a[i]) != b[i]) return false;
    return true;
}

bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

CHttpUrl::CHttpUrl() : m_scheme(kSchemeHttp), m_schemeName("http"), m_port(80) {}

void CHttpUrl::Reset() {
    m_scheme = kSchemeHttp;
    m_schemeName.assign("http");
    m_host.clear();
    m_userName.clear();
    m_password.clear();
    m_port = 80;
    m_path.clear();
    m_extra.clear();
}

uint16_t CHttpUrl::DefaultPort(HttpScheme scheme) {
    for (const SchemeEntry& e : kSchemes)
        if (e.scheme == scheme) return e.port;
    return 0;
}

bool CHttpUrl::Canonicalize(const char* text, size_t len, std::string* out) {
    static const char kHex[] = "0123456789abcdef";
    std::string result;
    result.reserve(len + 16);
    bool inExtra = false;
    for (size_t i = 0; i < len; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '?' || c == '#') inExtra = true;
        if (!inExtra && NeedsEscape(c)) {
            result += '%';
            result += kHex[c >> 4];
            result += kHex[c & 15];
        } else {
            result += static_cast<char>(c);
        }
        if (result.size() > kMaxCanonical) return false;
    }
    *out = std::move(result);
    return true;
}

bool CHttpUrl::SetUrl(const char* text, size_t len) {
    std::string canonical;
    if (!Canonicalize(text, len, &canonical)) return false;
    return Parse(canonical.data(), canonical.size());
}

bool CHttpUrl::Parse(const char* text, size_t len) {
    const char* p = text;
    const char* end = text + len;

    // Scheme: a letter, then letters, digits, '+', '-' or '.', up to ':'.
    const char* colon = p;
    while (colon < end && *colon != ':') ++colon;
    if (colon == end || colon == p || !IsAlpha(*p)) return false;
    for (const char* q = p; q < colon; ++q)
        if (!IsAlpha(*q) && !IsDigit(*q) && *q != '+' && *q != '-' && *q != '.') return false;
    if (static_cast<size_t>(colon - p) > kMaxScheme) return false;

    CHttpUrl url;
    url.m_schemeName.assign(p, colon);
    url.m_scheme = kSchemeUnknown;
    for (const SchemeEntry& e : kSchemes)
        if (EqualsNoCase(url.m_schemeName, e.name)) url.m_scheme = e.scheme;
    url.m_host.clear();
    url.m_port = 0;
    p = colon + 1;

    if (end - p >= 2 && p[0] == '/' && p[1] == '/') {
        p += 2;
        const char* authEnd = p;
        while (authEnd < end && *authEnd != '/' && *authEnd != '\\' && *authEnd != '?' &&
               *authEnd != '#')
            ++authEnd;
        // User name and password end at the last at sign of the authority.
        const char* at = authEnd;
        while (at > p && at[-1] != '@') --at;
        if (at > p) {
            const char* userEnd = at - 1;
            const char* sep = p;
            while (sep < userEnd && *sep != ':') ++sep;
            if (static_cast<size_t>(sep - p) > kMaxUserInfo) return false;
            url.m_userName.assign(p, sep);
            if (sep < userEnd) {
                if (static_cast<size_t>(userEnd - sep - 1) > kMaxUserInfo) return false;
                url.m_password.assign(sep + 1, userEnd);
            }
            p = at;
        }
        const char* hostEnd = p;
        while (hostEnd < authEnd && *hostEnd != ':') ++hostEnd;
        if (static_cast<size_t>(hostEnd - p) > kMaxHost) return false;
        url.m_host.assign(p, hostEnd);
        if (hostEnd < authEnd) {
            const char* digits = hostEnd + 1;
            if (digits == authEnd) return false;
            uint32_t port = 0;
            for (const char* q = digits; q < authEnd; ++q) {
                if (!IsDigit(*q)) return false;
                port = port * 10 + static_cast<uint32_t>(*q - '0');
                if (port > 65535) return false;
            }
            url.m_port = static_cast<uint16_t>(port);
        }
        p = authEnd;
    }
    if (url.m_port == 0) url.m_port = DefaultPort(url.m_scheme);

    const char* pathEnd = p;
    while (pathEnd < end && *pathEnd != '?' && *pathEnd != '#') ++pathEnd;
    if (static_cast<size_t>(pathEnd - p) > kMaxPath) return false;
    if (static_cast<size_t>(end - pathEnd) > kMaxExtra) return false;
    url.m_path.assign(p, pathEnd);
    url.m_extra.assign(pathEnd, end);

    *this = std::move(url);
    return true;
}

std::string CHttpUrl::Rebuild() const {
    std::string text = m_schemeName;
    text += "://";
    text += m_host;
    if (m_port != DefaultPort(m_scheme)) {
        text += ':';
        text += std::to_string(m_port);
    }
    if (m_path.empty() || (m_path[0] != '/' && m_path[0] != '\\')) text += '/';
    text += m_path;
    text += m_extra;
    return text;
}
