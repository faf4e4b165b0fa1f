#include "rate_fetch.h"

#include <curl/curl.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <strings.h>

#include "fetch_headers.h"

namespace ratesvc {

namespace {

// The daily file is about 2 KB and the whole history a few MB; anything far
// beyond that is not a rates file and is not worth holding in memory.
constexpr size_t kMaxBody = 32u << 20;
constexpr long kConnectTimeoutSec = 10;
constexpr long kTransferTimeoutSec = 60;

struct Transfer {
    std::string body;
    CValidators validators;  // of the final response (after redirects)
    bool bTooLarge = false;
    const std::atomic<bool>* pStop = nullptr;
};

size_t OnBody(char* data, size_t size, size_t count, void* user) {
    auto& t = *static_cast<Transfer*>(user);
    const size_t n = size * count;
    if (t.body.size() + n > kMaxBody) {
        t.bTooLarge = true;
        return 0;  // makes curl end the transfer with an error
    }
    t.body.append(data, n);
    return n;
}

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
    const size_t n = size * count;
    static_cast<Transfer*>(user)->validators.OnHeaderLine(std::string_view(data, n));
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

CRateFetcher::CRateFetcher(std::string url, CRateFile& rates, std::function<void(const std::string&)> log,
                           std::string caFile)
    : m_strUrl(std::move(url)), m_strCaFile(std::move(caFile)), m_rates(rates), m_log(std::move(log)) {}

CRateFetcher::~CRateFetcher() { Stop(); }

FetchOutcome CRateFetcher::Fail(const std::string& why) {
    if (m_log) {
        const auto table = m_rates.Current();
        m_log(m_strUrl + ": " + why + "; " +
              (table ? "keeping the rates of " + table->m_strDate : std::string("still no rates")));
    }
    return FetchOutcome::kFailed;
}

bool CRateFetcher::WriteRatesFile(const std::string& body, std::string& error) const {
    // Written whole under another name and renamed, so the service never
    // reads half a file.
    const std::string tmp = m_rates.Path() + ".download";
    std::FILE* f = std::fopen(tmp.c_str(), "wb");
    bool ok = f && std::fwrite(body.data(), 1, body.size(), f) == body.size();
    if (f && std::fclose(f) != 0) ok = false;
    if (ok && std::rename(tmp.c_str(), m_rates.Path().c_str()) != 0) ok = false;
    if (!ok) {
        error = "cannot write " + m_rates.Path();
        std::remove(tmp.c_str());
    }
    return ok;
}

FetchOutcome CRateFetcher::FetchOnce() {
    std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
    if (!curl) return Fail("cannot start a transfer");
    std::unique_ptr<curl_slist, SlistDeleter> headers;
    if ((!m_strETag.empty() && !Append(headers, "If-None-Match: " + m_strETag)) ||
        (!m_strLastModified.empty() && !Append(headers, "If-Modified-Since: " + m_strLastModified)))
        return Fail("out of memory");

    Transfer t;
    t.pStop = &m_bStop;
    char curlError[CURL_ERROR_SIZE] = "";
    CURL* c = curl.get();
    curl_easy_setopt(c, CURLOPT_URL, m_strUrl.c_str());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    // A source reached over TLS stays on TLS: a redirect to plain http would
    // let anyone on the path hand the service its rates.
    const bool tls = strncasecmp(m_strUrl.c_str(), "https:", 6) == 0;
    curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, tls ? "https" : "http,https");
    if (!m_strCaFile.empty()) curl_easy_setopt(c, CURLOPT_CAINFO, m_strCaFile.c_str());
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
        if (t.bTooLarge) return Fail("the answer is larger than " + std::to_string(kMaxBody >> 20) + " MB");
        return Fail(*curlError ? curlError : curl_easy_strerror(rc));
    }
    long status = 0;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
    if (status == 304) {
        if (m_log) m_log(m_strUrl + ": not modified");
        return FetchOutcome::kNotModified;
    }
    if (status != 200) return Fail("HTTP status " + std::to_string(status));

    CRateTable table;
    std::string why;
    if (!ParseRateFile(t.body, table, why)) return Fail("not a rates file (" + why + ")");
    if (!m_rates.MayTake(table, why)) return Fail("refused (" + why + ")");
    if (!WriteRatesFile(t.body, why)) return Fail(why);
    // Validators only from a good file: after a bad one the next request must
    // fetch the whole file again, not be told it is current.
    m_strETag = t.validators.strETag;
    m_strLastModified = t.validators.strLastModified;
    if (m_log)
        m_log(m_strUrl + ": fetched " + std::to_string(table.m_perEuro.size()) + " rates of " + table.m_strDate);
    m_rates.Current();  // takes the new file now rather than at the next call
    return FetchOutcome::kUpdated;
}

void CRateFetcher::Start(std::chrono::seconds interval) {
    m_bStop = false;
    m_thread = std::thread([this, interval] {
        std::unique_lock<std::mutex> lock(m_mutex);
        while (!m_wake.wait_for(lock, interval, [this] { return m_bStop.load(); })) {
            lock.unlock();
            FetchOnce();
            lock.lock();
        }
    });
}

void CRateFetcher::Stop() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bStop = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

}  // namespace ratesvc
