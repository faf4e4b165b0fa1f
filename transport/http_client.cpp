#include "transport/http_client.h"

#include <new>

namespace {

bool EqualsNoCase(const std::string& value, const char* word) {
    size_t i = 0;
    for (; word[i]; ++i) {
        if (i == value.size()) return false;
        char c = value[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != word[i]) return false;
    }
    return i == value.size();
}

bool Accepted(int status) { return (status >= 200 && status <= 206) || status == 304 || status == 305; }

// A Location is taken only when it is one clean token: a control byte
// (bare LF, a folded line's CR LF), DEL or a space in it means a server
// trying to write lines of its own into the next request.
bool CleanLocation(const std::string& location) {
    for (char ch : location) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c <= 0x20 || c == 0x7F) return false;
    }
    return true;
}

}  // namespace

CHttpClient::CHttpClient(IConnection& connection)
    : m_connection(connection), m_reader(m_buffer, m_headers) {}

CHttpClient::~CHttpClient() { m_connection.Close(); }

bool CHttpClient::PerformRequest(const CHttpUrl* url, const HttpRequestOptions* options) {
    if (!url) return false;
    // Per-request state starts empty; the connection is kept.
    m_reader.Begin(0);
    m_url.Reset();
    m_method.clear();
    m_redirects = 0;
    HttpRequestOptions defaults;
    try {
        return Perform(*url, options ? *options : defaults);
    } catch (const std::bad_alloc&) {
        m_connection.Close();
        return false;
    }
}

bool CHttpClient::MakeCurrent(const CHttpUrl& url, uint16_t fallbackPort) {
    if (url.Scheme() != kSchemeHttp || url.Host().empty()) return false;
    m_url = url;
    if (m_url.Path().empty()) m_url.SetPath("/");
    if (m_url.Port() == 0) m_url.SetPort(fallbackPort);
    return true;
}

bool CHttpClient::ArmTimeout() {
    using namespace std::chrono;
    const auto left = m_deadline - steady_clock::now();
    if (left <= steady_clock::duration::zero()) return false;
    // Rounded up, so the last wait reaches the deadline instead of spinning
    // on zero-length waits just before it.
    const auto ms = ceil<milliseconds>(left).count();
    m_connection.SetTimeout(static_cast<uint32_t>(ms));
    return true;
}

bool CHttpClient::Perform(const CHttpUrl& url, const HttpRequestOptions& options) {
    m_method = options.szMethod ? options.szMethod : "GET";
    // One deadline for the exchange: a server that drips a byte before each
    // wait ends would otherwise hold the thread for as long as it likes.
    m_deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(options.dwTimeout);
    if (!MakeCurrent(url, options.nPort)) return false;
    BuildRequestText(m_method.c_str(), m_url, options.nContentLength, options.szContentType,
                     options.szExtraHeaders, &m_requestText);
    if (!ArmTimeout() || !m_connection.ConnectTo(m_url.Host().c_str(), m_url.Port())) return false;
    if (!Send(options) || !ReadResponse(options)) {
        m_connection.Close();
        return false;
    }
    if ((options.dwFlags & kHttpCheckStatus) && !CheckStatus(options)) {
        m_connection.Close();
        return false;
    }
    return true;
}

bool CHttpClient::Send(const HttpRequestOptions& options) {
    const size_t expected = m_requestText.size() + options.nContentLength;
    const bool hasBody = options.pBody && options.nContentLength;
    ConstBuffer buffers[2] = {{m_requestText.data(), m_requestText.size()},
                              {options.pBody, options.nContentLength}};
    size_t total = 0;
    size_t sent = 0;
    if ((options.dwFlags & kHttpSendInBlocks) && hasBody) {
        if (!ArmTimeout() || !m_connection.Write(buffers, 1, &sent)) return false;
        total = sent;
        const size_t block = options.nSendBlockSize ? options.nSendBlockSize : 4096;
        for (size_t offset = 0; offset < options.nContentLength; offset += block) {
            size_t left = options.nContentLength - offset;
            ConstBuffer piece = {options.pBody + offset, left < block ? left : block};
            if (!ArmTimeout() || !m_connection.Write(&piece, 1, &sent) || sent != piece.size)
                return false;
            total += sent;
        }
    } else {
        if (!ArmTimeout() || !m_connection.Write(buffers, hasBody ? 2 : 1, &sent)) return false;
        total = sent;
    }
    return total == expected;
}

bool CHttpClient::ReadResponse(const HttpRequestOptions& options) {
    m_reader.Begin(options.nReadBlockSize);
    HttpReadResult result = HttpReadResult::kIncomplete;
    while (result == HttpReadResult::kIncomplete) {
        size_t size = m_reader.NextReadSize();
        char* space = m_reader.ReadSpace(size);
        // Past the deadline is a time-out like any other: without a length
        // the body ends there, everywhere else the read fails.
        if (!ArmTimeout() || !m_connection.Read(space, &size))
            result = m_reader.OnReadFailed();
        else if (size == 0)
            result = m_reader.OnClosed();
        else
            result = m_reader.OnData(size);
    }
    // The server's wish to close is honoured even when the body failed.
    static constexpr HttpHeaderName kConnection = CHttpHeaderMap::Name("Connection");
    const std::string* connection = m_headers.Find(kConnection);
    if (m_reader.HeadersComplete() && connection && EqualsNoCase(*connection, "close"))
        m_connection.Close();
    // A server that sent more than its answer may send it again as the start
    // of the next one: that connection ends here.
    if (m_reader.Overran()) m_connection.Close();
    return result == HttpReadResult::kDone;
}

bool CHttpClient::CheckStatus(const HttpRequestOptions& options) {
    // Once a redirected request went out and its answer was read whole, what
    // that answer's status says is left to the caller's judgement. A redirect
    // that cannot be followed, or an answer cut short, fails the request: a
    // truncated body must never pass for a complete one.
    bool redirected = false;
    for (;;) {
        int status = StatusCode();
        if (Accepted(status)) return true;
        if (status < 301 || status > 303 || !(options.dwFlags & kHttpFollowRedirects))
            return redirected;  // 401, 407 and every other status are refused
        if (m_redirects == kMaxRedirects) return false;  // a loop, or close to one
        ++m_redirects;
        if (!WriteRedirect(options) || !ReadResponse(options)) return false;
        redirected = true;
    }
}

bool CHttpClient::WriteRedirect(const HttpRequestOptions& options) {
    const std::string* location = FindHeader("Location");
    if (!location || !CleanLocation(*location)) return false;

    CHttpUrl target;
    if (!target.SetUrl(*location)) {
        // Relative: resolved against the current path's directory.
        std::string path;
        if (!location->empty() && (*location)[0] == '/') {
            path = *location;
        } else {
            path = m_url.Path().empty() ? "/" : m_url.Path();
            path.erase(path.rfind('/') + 1);
            path += *location;
        }
        // The old query goes; a relative location brings its own.
        CHttpUrl base = m_url;
        base.SetPath(std::move(path));
        base.SetExtra(std::string());
        if (!target.SetUrl(base.Rebuild())) return false;
    }
    const std::string hostBefore = m_url.Host();
    const uint16_t portBefore = m_url.Port();
    if (!MakeCurrent(target, portBefore)) return false;

    // A "close" already ended the connection; a new host gets its own.
    const std::string* connection = FindHeader("Connection");
    bool sameServer = m_url.Host() == hostBefore && m_url.Port() == portBefore;
    if (!sameServer || (connection && EqualsNoCase(*connection, "close"))) m_connection.Close();
    if (!ArmTimeout() || !m_connection.ConnectTo(m_url.Host().c_str(), m_url.Port())) return false;

    // The caller's extra lines were meant for the first URL only. The body
    // goes out again so the redirected POST is a complete message.
    BuildRequestText(m_method.c_str(), m_url, options.nContentLength, options.szContentType,
                     nullptr, &m_requestText);
    return Send(options);
}
