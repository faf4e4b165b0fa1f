// The header lines of a rates download that matter to the next request: the
// validators sent back as If-None-Match and If-Modified-Since, and how long a
// publisher that refused us (429, 503) asks us to wait. Kept apart from the
// HTTP library so every fetcher (libcurl, WinHTTP) reads them the same way.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ratesvc {

// Longer validators are not kept: a real ETag or HTTP date is a few dozen bytes.
constexpr size_t kMaxValidator = 256;

struct CValidators {
    std::string strETag, strLastModified;  // empty when absent or refused
    std::string strRetryAfter;              // as sent; read by RetryAfterWait

    // One header line as the HTTP library hands it over (name, colon, value,
    // the line end included). A status line starts a new response (a
    // redirect was followed) and forgets the last one's validators. A value
    // holding a control byte (a bare CR, LF, NUL, ...) or longer than
    // kMaxValidator is refused: it would go back out inside a request header.
    void OnHeaderLine(std::string_view line);
};

}  // namespace ratesvc
