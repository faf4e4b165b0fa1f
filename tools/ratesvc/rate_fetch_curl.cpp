// HttpGet with Debian's libcurl, for the native service.
#include "rate_fetch.h"

#include <curl/curl.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <strings.h>

namespace ratesvc {

namespace {

constexpr long kConnectTimeoutSec = 10;
constexpr long kTransferTimeoutSec = 60;

struct Transfer {
    std::string body;
    std::string etag, lastModified;  // of the final response (after redirects)
    size_t nMaxBody = 0;
    bool bTooLarge = false;
    const std::atomic<bool>* pStop = nullptr;
};

size_t OnBody(char* data, size_t size, size_t count, void* user) {
    auto& t = *static_cast<Transfer*>(user);
    const size_t n = size * count;
    if (t.body.size() + n > t.nMaxBody) {
        t.bTooLarge = true;
        return 0;  // makes curl end the transfer with an error
    }
    t.body.append(data, n);
    return n;
}

std::string Trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == '\r' || s.back() == '\n' || s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return std::string(s);
}

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
    auto& t = *static_cast<Transfer*>(user);
    const size_t n = size * count;
    const std::string_view line(data, n);
    if (line.rfind("HTTP/", 0) == 0) {  // a new response (a redirect was followed): forget the last one's
        t.etag.clear();
        t.lastModified.clear();
        return n;
    }
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) return n;
    const std::string_view name = line.substr(0, colon);
    auto is = [&](const char* want) { return name.size() == std::strlen(want) && strncasecmp(name.data(), want, name.size()) == 0; };
    if (is("ETag")) t.etag = Trimmed(line.substr(colon + 1));
    else if (is("Last-Modified")) t.lastModified = Trimmed(line.substr(colon + 1));
    return n;
}

int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<Transfer*>(user)->pStop->load() ? 1 : 0;
}

struct CurlDeleter {
    void operator()(CURL* c) const { curl_easy_cleanup(c); }
};
struct SlistDeleter {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};

// Adds a header line to the list; false when out of memory.
bool Append(std::unique_ptr<curl_slist, SlistDeleter>& list, const std::string& line) {
    curl_slist* grown = curl_slist_append(list.get(), line.c_str());
    if (!grown) return false;
    list.release();
    list.reset(grown);
    return true;
}

}  // namespace

bool HttpGet(const std::string& url, const std::string& ifNoneMatch, const std::string& ifModifiedSince,
             size_t maxBody, const std::atomic<bool>& stop, CHttpAnswer& answer, std::string& error) {
    std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
    if (!curl) {
        error = "cannot start a transfer";
        return false;
    }
    std::unique_ptr<curl_slist, SlistDeleter> headers;
    if ((!ifNoneMatch.empty() && !Append(headers, "If-None-Match: " + ifNoneMatch)) ||
        (!ifModifiedSince.empty() && !Append(headers, "If-Modified-Since: " + ifModifiedSince))) {
        error = "out of memory";
        return false;
    }

    Transfer t;
    t.pStop = &stop;
    t.nMaxBody = maxBody;
    char curlError[CURL_ERROR_SIZE] = "";
    CURL* c = curl.get();
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(c, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSec);
    curl_easy_setopt(c, CURLOPT_TIMEOUT, kTransferTimeoutSec);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_ACCEPT_ENCODING, "");  // whatever curl can decode
    curl_easy_setopt(c, CURLOPT_USERAGENT, "zelvane-ratesvc");
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, OnHeader);
    curl_easy_setopt(c, CURLOPT_HEADERDATA, &t);
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, OnProgress);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, &t);
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, curlError);

    const CURLcode rc = curl_easy_perform(c);
    if (rc != CURLE_OK) {
        if (t.bTooLarge) error = "the answer is larger than " + std::to_string(maxBody >> 20) + " MB";
        else error = *curlError ? curlError : curl_easy_strerror(rc);
        return false;
    }
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &answer.nStatus);
    answer.strBody = std::move(t.body);
    answer.strETag = std::move(t.etag);
    answer.strLastModified = std::move(t.lastModified);
    return true;
}

}  // namespace ratesvc
