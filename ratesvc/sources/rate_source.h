// One source of rates behind one interface: where it is asked, how often,
// and how its answer becomes quotes. Fetching, schedules, backoff and bounds
// are the runner's (source_runner.h), the same for every source; a source
// only knows its publisher's answer shape and what it vouches for.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "rate_book.h"

namespace ratesvc {

class CRateSource {
public:
    virtual ~CRateSource() = default;

    virtual SourceId Id() const = 0;
    // The requests of one round: one for most sources, one per metal.
    virtual std::vector<std::string> Urls() const = 0;
    // Whether a round replaces all the source said before, or only the codes
    // it names (one metal's failure must not drop the others).
    virtual bool ReplacesAll() const { return true; }
    // Whether its quotes are fresh from the fetch (an answer with no time of
    // its own, or a market price that holds over a weekend), so that a "not
    // modified" vouches for them anew; a dated source's data ages by its date.
    virtual bool FreshFromFetch() const { return true; }
    // The largest answer worth reading.
    virtual size_t MaxBody() const = 0;
    // The shortest interval between rounds the publisher is asked at.
    virtual std::chrono::seconds MinEvery() const = 0;
    // Reads the answer to Urls()[index], fetched at `now`, into `into`.
    // False with a one-line reason for anything not to be trusted whole; then
    // nothing of it is used.
    virtual bool Read(size_t index, std::string_view body, UnixSeconds now, CQuotes& into, std::string& why) const = 0;
};

// Sets `why` and returns false: how a Read refuses an answer.
inline bool Refuse(std::string& why, std::string reason) {
    why = std::move(reason);
    return false;
}

// Coinbase's exchange rates: units of each currency per dollar, as decimal
// strings, for fiat, crypto and a few dead codes; only the list's are taken.
std::unique_ptr<CRateSource> MakeLiveSource(std::string url);
// Frankfurter: central-bank reference rates as an array of base/quote/rate
// records, one day per currency.
std::unique_ptr<CRateSource> MakeReferenceSource(std::string url);
// gold-api.com: the dollar price of one troy ounce, one request per metal
// (the symbol appended to `urlPrefix`).
std::unique_ptr<CRateSource> MakeMetalsSource(std::string urlPrefix);

// Each source's publisher, asked by default.
constexpr char kDefaultLiveUrl[] = "https://api.coinbase.com/v2/exchange-rates?currency=USD";
constexpr char kDefaultReferenceUrl[] = "https://api.frankfurter.dev/v2/rates?base=EUR";
constexpr char kDefaultMetalsUrl[] = "https://api.gold-api.com/price/";
constexpr char kDefaultBankUrl[] = "https://www.ecb.europa.eu/stats/eurofxref/eurofxref-daily.xml";
constexpr int kDefaultLiveEverySec = 60;
constexpr int kDefaultReferenceEverySec = 3600;
constexpr int kDefaultMetalsEverySec = 300;

}  // namespace ratesvc
