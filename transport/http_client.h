// One HTTP/1.1 request at a time over a kept connection: request text,
// sending, the response read into one contiguous buffer, status check and
// redirects. The connection stays open across requests until the server
// says "Connection: close" or a request fails after connecting.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

#include "transport/connection.h"
#include "transport/http_buffer.h"
#include "transport/http_headers.h"
#include "transport/http_request.h"
#include "transport/http_response_reader.h"
#include "transport/http_url.h"

class CHttpClient {
public:
    // Redirects followed for one request; one more fails like a rejected status.
    static constexpr int kMaxRedirects = 10;

    // The connection is borrowed and must outlive the client.
    explicit CHttpClient(IConnection& connection);
    ~CHttpClient();
    CHttpClient(const CHttpClient&) = delete;
    CHttpClient& operator=(const CHttpClient&) = delete;

    // True when a response was read and, with kHttpCheckStatus, accepted.
    // options may be null for a plain GET with the default settings. The
    // whole exchange, redirects included, ends within the options' time-out:
    // every wait gets only what is left of it.
    bool PerformRequest(const CHttpUrl* url, const HttpRequestOptions* options);

    const std::string* FindHeader(const char* name) const { return m_headers.Find(name); }
    const CHttpHeaderMap& Headers() const { return m_headers; }
    // The body of the last response, inside the response buffer (NUL after it).
    const char* BodyData() const { return m_reader.Body(); }
    size_t BodyLength() const { return m_reader.BodyLength(); }
    int StatusCode() const { return m_reader.StatusCode(); }
    // URL of the last request sent (after redirects, the final one).
    const CHttpUrl& CurrentUrl() const { return m_url; }
    const std::string& RequestText() const { return m_requestText; }
    int RedirectsFollowed() const { return m_redirects; }
    IConnection& Connection() { return m_connection; }

private:
    bool Perform(const CHttpUrl& url, const HttpRequestOptions& options);
    bool Send(const HttpRequestOptions& options);
    bool ReadResponse(const HttpRequestOptions& options);
    bool CheckStatus(const HttpRequestOptions& options);
    bool WriteRedirect(const HttpRequestOptions& options);
    bool MakeCurrent(const CHttpUrl& url, uint16_t fallbackPort);
    // Gives the connection the time left until the deadline; false once it passed.
    bool ArmTimeout();

    IConnection& m_connection;
    CHttpUrl m_url;
    std::string m_method;
    std::string m_requestText;
    CHttpBuffer m_buffer;
    CHttpHeaderMap m_headers;
    CHttpResponseReader m_reader;
    int m_redirects = 0;
    std::chrono::steady_clock::time_point m_deadline;
};
