// The one place every answer comes from: for each source, what it quoted,
// for which currency, and since when it vouches for it. Sources are ranked;
// a pair is answered within the best source that holds both currencies
// fresh, so a live leg is not crossed with a day-old one when that can be
// avoided, and legs of different sources are crossed only when no single
// source can answer.
#pragma once

#include <array>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "civil_time.h"
#include "rate_file.h"
#include "rate_lookup.h"

namespace ratesvc {

// In order of preference for the currencies they hold: the metals source
// holds the four metals (and the dollar they are priced in).
enum class SourceId { kMetals, kLive, kReference, kBank };
constexpr size_t kSourceCount = 4;
const char* SourceName(SourceId id);

struct CQuote {
    double dPerUsd = 0;      // units of the currency per US dollar
    UnixSeconds asOf = 0;    // since when the source vouches for it
};

// What one source says: every currency it quotes, the dollar included (1).
struct CQuotes {
    std::map<std::string, CQuote, std::less<>> quotes;
    std::string strAsOf;  // the data's own date or time as the source wrote it
};

// How long each source's quotes are served after `asOf`, and why.
// Live: a quarter of an hour rides out a few failed fetches and their backoff
// while a stuck feed cannot pass for live for longer. Metals: half an hour,
// six rounds at the default interval. Reference: its date is the publishing
// day, and Thursday's rates before a four-day Easter weekend are the newest
// until Tuesday afternoon: five days. The bank's file is the last resort and
// is served at any age (the status page shows its date).
std::chrono::seconds StaleAfter(SourceId id);

// A live or metals quote further than this factor either way from the
// reference's for the same currency is not served: a currency can halve in a
// day (a devaluation), while a misplaced decimal, the common fault of a
// feed, is a factor of ten.
constexpr double kMaxStrayFromReference = 3.0;

class CRateBook {
public:
    using Log = std::function<void(const std::string&)>;
    explicit CRateBook(Log log = {});

    // Replaces what `id` says with `quotes` (every code it no longer lists is
    // gone), or with `merge` only those codes it names.
    void Take(SourceId id, CQuotes quotes);
    void Merge(SourceId id, CQuotes quotes);
    // The source confirmed its data is unchanged (HTTP 304): vouched for anew.
    void Confirm(SourceId id, UnixSeconds now);
    // The bank's euro table, kept by its own file; null leaves it as it was.
    void TakeBankTable(std::shared_ptr<const CRateTable> table, UnixSeconds now);

    // The rate for two codes of the list (or EUR) at `now`.
    CRateAnswer Answer(std::string_view from, std::string_view to, UnixSeconds now) const;

    struct CSourceSummary {
        size_t nListed = 0;     // currencies of the program's list it quotes
        size_t nFresh = 0;      // of those, still fresh
        std::string strAsOf;    // the data's own date or time, empty when none
        size_t nHeldBack = 0;   // quotes not served for straying from the reference
    };
    CSourceSummary Summary(SourceId id, UnixSeconds now) const;
    // Which source answers each code of the list against the dollar now
    // ("legacy" for the replaced ones); codes that cannot be answered map to
    // the reason.
    struct CCoverage {
        std::map<std::string, size_t> bySource;  // source name -> count
        std::vector<std::pair<std::string, std::string>> missing;  // code, why
        size_t nAnswered = 0;
    };
    CCoverage Coverage(UnixSeconds now) const;

private:
    struct Leg {
        double dPerUsd = 0;
        SourceId source = SourceId::kBank;
    };
    const CQuote* Fresh(SourceId id, std::string_view code, UnixSeconds now) const;
    bool Resolve(std::string_view code, UnixSeconds now, SourceId only, bool anySource, Leg& leg) const;
    void CheckAgainstReference();

    Log m_log;
    mutable std::mutex m_mutex;
    std::array<CQuotes, kSourceCount> m_sources;
    // Per source, the codes held back for straying from the reference.
    std::array<std::set<std::string, std::less<>>, kSourceCount> m_heldBack;
    std::shared_ptr<const CRateTable> m_bankTable;
};

}  // namespace ratesvc
