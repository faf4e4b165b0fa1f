// Rates from the network: the reference file fetched over HTTP(S) with
// conditional requests, each good download written over the service's rates
// file (which CRateFile then loads). A failed or malformed download, or one
// that may not replace the rates in force, leaves the file, and so the rates
// in force, as they were.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "fetch_headers.h"
#include "rate_file.h"

namespace ratesvc {

// One GET as the fetcher needs it, by the platform's own HTTP stack
// (rate_fetch_curl.cpp: libcurl; rate_fetch_win.cpp: WinHTTP). Redirects are
// followed, never from https to plain http; the answer is the last
// response's. A body over `nMaxBody` bytes, a transfer error or `stop`
// becoming true ends it with false and a reason.
struct CHttpRequest {
    std::string strUrl;
    std::string strIfNoneMatch, strIfModifiedSince;  // empty: not sent
    std::string strCaFile;  // certificates trusted for https instead of the system's
    size_t nMaxBody = 0;
    std::chrono::seconds deadline{60};  // for the whole transfer, redirects included
    // The same for every source and backend.
    std::chrono::seconds connectTimeout{10};  // a name's resolution and one connection
    long nMaxRedirects = 5;
    std::string strUserAgent = "zelvane-ratesvc";
};
struct CHttpAnswer {
    long nStatus = 0;
    std::string strBody;
    CValidators validators;  // of the last response, read by CValidators' rules (Retry-After too)
};
bool HttpGet(const CHttpRequest& request, const std::atomic<bool>& stop, CHttpAnswer& answer, std::string& error);

enum class FetchOutcome {
    kUpdated,      // a good file arrived and is now the rates file
    kNotModified,  // the server says the copy in hand is current (304)
    kFailed,       // no good file: transfer error, HTTP error status, or not a rates file
};

class CRateFetcher {
public:
    // `rates` is the service's rates file: downloads replace it, and its table
    // names the rates kept when a download fails. `log` hears every outcome.
    // `caFile`, when given, holds the certificates trusted for https instead
    // of the system's.
    CRateFetcher(std::string url, CRateFile& rates, std::function<void(const std::string&)> log,
                 std::string caFile = {});
    ~CRateFetcher();
    CRateFetcher(const CRateFetcher&) = delete;
    CRateFetcher& operator=(const CRateFetcher&) = delete;

    // One request, conditional on the validators of the last good download.
    FetchOutcome FetchOnce();

    // Fetches every `interval` on a thread of its own until Stop(), which
    // also cuts short a transfer in progress.
    void Start(std::chrono::seconds interval);
    void Stop();

private:
    FetchOutcome Fail(const std::string& why);
    bool WriteRatesFile(const std::string& body, std::string& error) const;

    std::string m_strUrl;
    std::string m_strCaFile;
    CRateFile& m_rates;
    std::function<void(const std::string&)> m_log;
    std::string m_strETag, m_strLastModified;  // of the last good download

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::atomic<bool> m_bStop{false};
    std::thread m_thread;
};

}  // namespace ratesvc
