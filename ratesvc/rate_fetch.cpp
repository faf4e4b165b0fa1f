#include "rate_fetch.h"

#include "rate_checks.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace ratesvc {

namespace {

// The daily file is about 2 KB and the whole history a few MB; anything far
// beyond that is not a rates file and is not worth holding in memory.
constexpr size_t kMaxBody = 32u << 20;

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
    // (std::filesystem: a UTF-8 path on Windows too, and a rename that
    // replaces the old file there as well.)
    namespace fs = std::filesystem;
    const fs::path path = fs::u8path(m_rates.Path()), tmp = fs::u8path(m_rates.Path() + ".download");
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    out.write(body.data(), static_cast<std::streamsize>(body.size()));
    out.close();
    std::error_code ec;
    bool ok = static_cast<bool>(out);
    if (ok) fs::rename(tmp, path, ec);
    if (!ok || ec) {
        error = "cannot write " + m_rates.Path();
        fs::remove(tmp, ec);
        return false;
    }
    return true;
}

FetchOutcome CRateFetcher::FetchOnce() {
    CHttpRequest request;
    request.strUrl = m_strUrl;
    request.strIfNoneMatch = m_strETag;
    request.strIfModifiedSince = m_strLastModified;
    request.strCaFile = m_strCaFile;
    request.nMaxBody = kMaxBody;
    CHttpAnswer t;
    std::string error;
    if (!HttpGet(request, m_bStop, t, error)) return Fail(error);
    const long status = t.nStatus;
    if (status == 304) {
        if (m_log) m_log(m_strUrl + ": not modified");
        return FetchOutcome::kNotModified;
    }
    if (status != 200) return Fail("HTTP status " + std::to_string(status));

    CRateTable table;
    std::string why;
    if (!ParseRateFile(t.strBody, table, why)) return Fail("not a rates file (" + why + ")");
    if (IsDatedAfterTomorrow(table, WallClockNow())) return Fail("refused (dated " + table.m_strDate + ", after tomorrow)");
    if (!m_rates.MayTake(table, why)) return Fail("refused (" + why + ")");
    if (!WriteRatesFile(t.strBody, why)) return Fail(why);
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
