// A URL split into its parts, with the length limits of the endpoint URLs
// this program deals in. Texts longer than a limit are rejected, never cut.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

enum HttpScheme {
    kSchemeUnknown = 0,
    kSchemeHttp,
    kSchemeHttps,
    kSchemeFtp,
    kSchemeFile,
    kSchemeMailto,
};

class CHttpUrl {
public:
    static constexpr size_t kMaxScheme = 32;
    static constexpr size_t kMaxHost = 256;
    static constexpr size_t kMaxUserInfo = 128;
    static constexpr size_t kMaxPath = 2048;
    static constexpr size_t kMaxExtra = 2048;
    static constexpr size_t kMaxCanonical = 2083;

    // Scheme "http", port 80, every other part empty.
    CHttpUrl();

    // Escapes unsafe bytes before the query or fragment. False (and out
    // untouched) when the result would exceed kMaxCanonical bytes.
    static bool Canonicalize(const char* text, size_t len, std::string* out);

    // Canonicalises and parses; on failure the URL keeps its former parts.
    bool SetUrl(const char* text, size_t len);
    bool SetUrl(const std::string& text) { return SetUrl(text.data(), text.size()); }
    // Parses text that is already canonical.
    bool Parse(const char* text, size_t len);

    // scheme://host[:port][/]path extra
    std::string Rebuild() const;

    static uint16_t DefaultPort(HttpScheme scheme);

    HttpScheme Scheme() const { return m_scheme; }
    const std::string& SchemeName() const { return m_schemeName; }
    const std::string& Host() const { return m_host; }
    const std::string& UserName() const { return m_userName; }
    const std::string& Password() const { return m_password; }
    uint16_t Port() const { return m_port; }
    const std::string& Path() const { return m_path; }
    const std::string& Extra() const { return m_extra; }

    void SetPath(std::string path) { m_path = std::move(path); }
    void SetExtra(std::string extra) { m_extra = std::move(extra); }
    void SetPort(uint16_t port) { m_port = port; }
    // Back to a fresh CHttpUrl, keeping the strings' storage for reuse.
    void Reset();

private:
    HttpScheme m_scheme;
    std::string m_schemeName;
    std::string m_host;
    std::string m_userName;
    std::string m_password;
    uint16_t m_port;
    std::string m_path;
    std::string m_extra;
};
