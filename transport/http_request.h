// What a caller asks of one HTTP request, and the request text written for it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "transport/http_url.h"

enum HttpRequestFlags : uint32_t {
    kHttpFollowRedirects = 1,
    kHttpCheckStatus = 2,
    kHttpSendProgress = 4,  // reserved; nothing calls a progress hook
    kHttpSendInBlocks = 8,
};

struct HttpRequestOptions {
    const char* szExtraHeaders = nullptr;  // lines that end in CR LF, or none
    const char* szMethod = "GET";
    const char* szContentType = nullptr;
    uint32_t nContentLength = 0;
    uint32_t dwFlags = kHttpFollowRedirects | kHttpCheckStatus | kHttpSendInBlocks;
    uint32_t dwTimeout = 10000;
    uint32_t nSendBlockSize = 4096;
    uint32_t nReadBlockSize = 4096;
    uint16_t nPort = 80;
    const char* pBody = nullptr;
};

// Request line, Content-Length (when not 0), Content-Type (when given),
// the extra lines, Host, User-Agent and the blank line; replaces *out.
// Bytes of the URL's path, extra part and host that a request target does
// not allow (controls, space, quotes, non-ASCII) are written %-escaped.
void BuildRequestText(const char* method, const CHttpUrl& url, uint32_t contentLength,
                      const char* contentType, const char* extraHeaders, std::string* out);
