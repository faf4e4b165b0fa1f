// Asks every source on its own schedule, one request at a time on one
// thread: a thread costs an idle service about a megabyte under Wine, and
// one at a time means no publisher ever sees two requests of ours at once.
// Each request is conditional where the publisher gave validators, bounded
// in size and time; a failed round backs off (honouring a 429's
// Retry-After), and what a source said stays in the book until it is stale.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "rate_book.h"
#include "rate_fetch.h"
#include "sources/rate_source.h"

namespace ratesvc {

// The wait before the next round after `failures` failed rounds in a row
// (0: a good round, the interval): the source's shortest interval, doubled
// with each further failure up to half an hour (or the interval, when that
// is longer), and never less than a Retry-After the publisher asked for
// (bounded by a day).
std::chrono::seconds NextRoundIn(std::chrono::seconds every, std::chrono::seconds minEvery, int failures,
                                 std::chrono::seconds retryAfter);

// A Retry-After value (delay-seconds or an HTTP date) as a wait from `now`;
// zero when absent or not understood.
std::chrono::seconds RetryAfterWait(std::string_view value, UnixSeconds now);

// A URL fit for a log line or the status page: no user name or password,
// no query (either may carry a key), printable.
std::string ShownUrl(std::string_view url);

class CSourceRunner {
public:
    using Log = std::function<void(const std::string&)>;
    using Clock = std::function<UnixSeconds()>;
    // `caFile`, when given, is trusted for https instead of the system's
    // certificates (tests).
    CSourceRunner(CRateBook& book, Log log, std::string caFile = {}, Clock clock = {});
    ~CSourceRunner();
    CSourceRunner(const CSourceRunner&) = delete;
    CSourceRunner& operator=(const CSourceRunner&) = delete;

    // A source asked every `every`; an interval under the source's minimum
    // is raised to it, and the log says so. A source whose address is
    // refused (plain http to another computer) is not asked at all.
    void Add(std::unique_ptr<CRateSource> source, std::chrono::seconds every);
    // The bank's file: its fetcher keeps the file and its own rules; the
    // book takes the file's table after each round.
    void AddBank(CRateFetcher& fetcher, CRateFile& file, std::string url, std::chrono::seconds every);

    // One round of every source, in order, on the caller's thread.
    void RunAllOnce();
    // Rounds on a thread of its own from now until Stop(), which also cuts
    // short a request in flight. Every source is due at once.
    void Start();
    void Stop();

    // The status page: each source, where it is asked, its last attempt and
    // outcome, its data's date and how many of the list's currencies it
    // quotes; then what the book can answer now and from where.
    std::string StatusText() const;

private:
    struct Entry;
    // False, with a log line, for an address no source may have.
    bool MayAsk(SourceId id, const std::string& url);
    void RunRound(Entry& e);
    UnixSeconds Now() const;

    CRateBook& m_book;
    Log m_log;
    std::string m_strCaFile;
    Clock m_clock;
    std::vector<std::unique_ptr<Entry>> m_entries;

    mutable std::mutex m_mutex;  // m_entries' status fields, and the wake-up
    std::condition_variable m_wake;
    std::atomic<bool> m_bStop{false};
    std::thread m_thread;
};

}  // namespace ratesvc
