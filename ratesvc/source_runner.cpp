#include "source_runner.h"

#include <algorithm>

#include "printable.h"
#include "rate_lookup.h"
#include "source_address.h"

namespace ratesvc {

namespace {

using Steady = std::chrono::steady_clock;
using std::chrono::seconds;

constexpr seconds kMaxBackoff = std::chrono::minutes(30);
constexpr seconds kMaxRetryAfter = std::chrono::hours(24);

// A request may take half its source's interval, within these bounds: a
// drip from a stalled publisher must not hold up the other sources long.
seconds RequestDeadline(seconds every) { return std::clamp(every / 2, seconds(10), seconds(30)); }

}  // namespace

seconds NextRoundIn(seconds every, seconds minEvery, int failures, seconds retryAfter) {
    if (failures <= 0) return every;
    const seconds longest = std::max(every, kMaxBackoff);
    seconds wait = std::max(minEvery, seconds(1));
    for (int i = 1; i < failures && wait < longest; ++i) wait *= 2;
    return std::max(std::min(wait, longest), std::min(retryAfter, kMaxRetryAfter));
}

seconds RetryAfterWait(std::string_view value, UnixSeconds now) {
    if (!value.empty() && value.size() <= 9 && value.find_first_not_of("0123456789") == std::string_view::npos)
        return seconds(std::stoll(std::string(value)));
    UnixSeconds at = 0;
    if (ParseHttpDate(value, at) && at > now) return seconds(at - now);
    return seconds(0);
}

std::string ShownUrl(std::string_view url) {
    url = url.substr(0, url.find_first_of("?#"));
    const size_t scheme = url.find("://");
    const size_t start = scheme == std::string_view::npos ? 0 : scheme + 3;
    const size_t end = url.find('/', start);
    const size_t at = url.substr(0, end).rfind('@');
    std::string shown(url.substr(0, start));
    shown += url.substr(at != std::string_view::npos && at >= start ? at + 1 : start);
    return Printable(shown, 200);
}

struct CSourceRunner::Entry {
    std::unique_ptr<CRateSource> source;  // null for the bank's file
    SourceId id = SourceId::kBank;
    std::vector<std::string> urls;
    seconds every{0};
    CRateFetcher* pBankFetcher = nullptr;
    CRateFile* pBankFile = nullptr;

    std::vector<CValidators> validators;  // of each URL's last good answer
    int nFailures = 0;
    bool bHadQuotes = false;
    Steady::time_point due{};
    // For the status page, under the runner's mutex.
    UnixSeconds lastAttempt = 0;
    std::string strOutcome = "not asked yet";
};

CSourceRunner::CSourceRunner(CRateBook& book, Log log, std::string caFile, Clock clock)
    : m_book(book), m_log(std::move(log)), m_strCaFile(std::move(caFile)), m_clock(std::move(clock)) {}

CSourceRunner::~CSourceRunner() { Stop(); }

UnixSeconds CSourceRunner::Now() const { return m_clock ? m_clock() : WallClockNow(); }

bool CSourceRunner::MayAsk(SourceId id, const std::string& url) {
    const std::string why = RefusedSourceUrl(url);
    if (!why.empty() && m_log) m_log(std::string(SourceName(id)) + ": " + ShownUrl(url) + ": " + why + "; not asked");
    return why.empty();
}

void CSourceRunner::Add(std::unique_ptr<CRateSource> source, seconds every) {
    if (!MayAsk(source->Id(), source->Urls().front())) return;
    auto e = std::make_unique<Entry>();
    e->id = source->Id();
    e->urls = source->Urls();
    e->validators.resize(e->urls.size());
    if (every < source->MinEvery()) {
        if (m_log)
            m_log(std::string(SourceName(e->id)) + ": asked every " + std::to_string(every.count()) +
                  " s is too often; every " + std::to_string(source->MinEvery().count()) + " s instead");
        every = source->MinEvery();
    }
    e->every = every;
    e->source = std::move(source);
    m_entries.push_back(std::move(e));
}

void CSourceRunner::AddBank(CRateFetcher& fetcher, CRateFile& file, std::string url, seconds every) {
    if (!MayAsk(SourceId::kBank, url)) return;
    auto e = std::make_unique<Entry>();
    e->urls = {std::move(url)};
    e->every = every;
    e->pBankFetcher = &fetcher;
    e->pBankFile = &file;
    m_entries.push_back(std::move(e));
}

void CSourceRunner::RunRound(Entry& e) {
    const UnixSeconds started = Now();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        e.lastAttempt = started;
    }
    std::string outcome;
    bool failed = false;
    seconds retryAfter{0};
    if (e.pBankFetcher) {
        // The bank's fetcher logs for itself and keeps its file by its rules.
        const FetchOutcome o = e.pBankFetcher->FetchOnce();
        failed = o == FetchOutcome::kFailed;
        outcome = o == FetchOutcome::kUpdated ? "ok" : o == FetchOutcome::kNotModified ? "not modified" : "failed (see the log)";
        m_book.TakeBankTable(e.pBankFile->Current(), Now());
    } else {
        CQuotes quotes;
        size_t good = 0, current = 0;
        std::string why;
        for (size_t i = 0; i < e.urls.size() && !m_bStop; ++i) {
            CHttpRequest request;
            request.strUrl = e.urls[i];
            request.strIfNoneMatch = e.validators[i].strETag;
            request.strIfModifiedSince = e.validators[i].strLastModified;
            request.strCaFile = m_strCaFile;
            request.nMaxBody = e.source->MaxBody();
            request.deadline = RequestDeadline(e.every);
            CHttpAnswer answer;
            const UnixSeconds now = Now();
            if (!HttpGet(request, m_bStop, answer, why)) {
            } else if (answer.nStatus == 304) {
                ++current;
                if (e.source->FreshFromFetch()) m_book.Confirm(e.id, now);
                continue;
            } else if (answer.nStatus != 200) {
                why = "HTTP status " + std::to_string(answer.nStatus);
                const seconds wait = RetryAfterWait(answer.validators.strRetryAfter, now);
                if (wait.count() > 0) {
                    retryAfter = std::max(retryAfter, wait);
                    why += " (asked to wait " + std::to_string(wait.count()) + " s)";
                }
            } else if (e.source->Read(i, answer.strBody, now, quotes, why)) {
                ++good;
                e.validators[i] = answer.validators;  // only a good answer's: a bad one is asked for whole again
                continue;
            }
            if (m_bStop) break;
            e.validators[i] = {};
            if (m_log) {
                const auto summary = m_book.Summary(e.id, now);
                m_log(std::string(SourceName(e.id)) + ": " + ShownUrl(e.urls[i]) + ": " + why + "; " +
                      (summary.nListed ? "keeping its quotes of " + summary.strAsOf : std::string("no quotes yet")));
            }
            outcome = why;
        }
        if (good) {
            if (e.source->ReplacesAll()) m_book.Take(e.id, std::move(quotes));
            else m_book.Merge(e.id, std::move(quotes));
        }
        failed = !good && !current;
        if (!failed) outcome = outcome.empty() ? (good ? "ok" : "not modified") : "partly ok; last failure: " + outcome;
        if (good && !e.bHadQuotes && m_log)
            m_log(std::string(SourceName(e.id)) + ": quotes " + std::to_string(m_book.Summary(e.id, Now()).nListed) +
                  " currencies of the list");
        e.bHadQuotes = good || (e.bHadQuotes && !failed);
    }
    e.nFailures = failed ? e.nFailures + 1 : 0;
    e.due = Steady::now() + NextRoundIn(e.every, e.source ? e.source->MinEvery() : e.every, e.nFailures, retryAfter);
    std::lock_guard<std::mutex> lock(m_mutex);
    e.strOutcome = Printable(outcome, 200);
}

void CSourceRunner::RunAllOnce() {
    for (auto& e : m_entries) RunRound(*e);
}

void CSourceRunner::Start() {
    m_bStop = false;
    for (auto& e : m_entries) e->due = Steady::now();
    m_thread = std::thread([this] {
        std::unique_lock<std::mutex> lock(m_mutex);
        while (!m_bStop && !m_entries.empty()) {
            Entry* next = m_entries.front().get();
            for (auto& e : m_entries)
                if (e->due < next->due) next = e.get();
            if (m_wake.wait_until(lock, next->due, [this] { return m_bStop.load(); })) break;
            if (Steady::now() < next->due) continue;
            lock.unlock();
            RunRound(*next);
            lock.lock();
        }
    });
}

void CSourceRunner::Stop() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bStop = true;
    }
    for (auto& e : m_entries)
        if (e->pBankFetcher) e->pBankFetcher->Stop();  // cuts short a download of the bank's in flight
    m_wake.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

std::string CSourceRunner::StatusText() const {
    const UnixSeconds now = Now();
    std::string text = "zelvane-ratesvc status at " + FormatIsoUtc(now) + "\n";
    const CRateBook::CCoverage coverage = m_book.Coverage(now);
    text += "answerable: " + std::to_string(coverage.nAnswered) + " of " + std::to_string(ListedCodes().size()) + " (";
    const char* sep = "";
    for (const auto& [source, count] : coverage.bySource) {
        text += sep + source + " " + std::to_string(count);
        sep = ", ";
    }
    text += ")\n";
    // Codes no source quotes now on one line; those with a reason of their own each on one.
    std::string noRate;
    for (const auto& [code, why] : coverage.missing) {
        if (why.rfind("No rate for ", 0) == 0) noRate += " " + code;
        else text += "not answerable: " + code + ": " + why + "\n";
    }
    if (!noRate.empty()) text += "no source quotes now:" + noRate + "\n";
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const auto& e : m_entries) {
        const CRateBook::CSourceSummary s = m_book.Summary(e->id, now);
        text += std::string("\nsource ") + SourceName(e->id) + "\n";
        for (const std::string& url : e->urls) text += "  url: " + ShownUrl(url) + "\n";
        text += "  every: " + std::to_string(e->every.count()) + " s\n";
        text += "  last attempt: " + (e->lastAttempt ? FormatIsoUtc(e->lastAttempt) : std::string("none")) + "\n";
        text += "  outcome: " + e->strOutcome + "\n";
        text += "  data as of: " + (s.strAsOf.empty() ? std::string("none") : s.strAsOf) + "\n";
        text += "  list currencies: " + std::to_string(s.nListed) + " (" + std::to_string(s.nFresh) + " fresh";
        if (s.nHeldBack) text += ", " + std::to_string(s.nHeldBack) + " held back";
        text += ")\n";
    }
    return text;
}

}  // namespace ratesvc
