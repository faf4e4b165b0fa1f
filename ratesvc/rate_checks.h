// What makes a rates file fit to serve and fit to replace the one in force.
// The reference file comes from the network, so well-formed is not enough:
// a file that is older, thinner or numerically absurd must not displace good
// rates. Portable: the libcurl fetcher and any other source use the same rules.
#pragma once

#include <string>
#include <string_view>

#include "civil_time.h"
#include "rate_file.h"

namespace ratesvc {

// Units of a currency per euro that a file may state. The bank's rates run
// from about 0.3 to about 30 000 (the old Turkish lira reached 2e6); these
// bounds leave room either side while keeping every cross rate, even as a
// float, a normal number between 1e-15 and 1e15.
constexpr double kMinPerEuro = 1e-6;
constexpr double kMaxPerEuro = 1e9;
// An answer may go further: an old code answered from its successor carries
// the legal factor (up to 1e14 old bolivares in one of today's), and a
// metal against such a code stays well within a float's range.
constexpr double kMaxAnswerRate = 1e24;

// The currencies whose loss no day's file can explain: when the rates in
// force hold one of them, a new file must hold it too.
constexpr const char* kMajorCurrencies[] = {"USD", "JPY", "GBP", "CHF"};

// A calendar date written YYYY-MM-DD, as the Cube's time attribute is.
bool IsIsoDate(std::string_view text);

// A per-euro rate within [kMinPerEuro, kMaxPerEuro] (NaN fails).
bool IsPlausiblePerEuro(double perEuro);

// A rate an answer may carry: finite, normal and within kMaxAnswerRate
// either way, also after narrowing to float.
bool IsAnswerableRate(double rate);

// A file dated after tomorrow (UTC) at `now`: no genuine file is, and one
// taken would freeze the rates, as every genuine file after it would be older.
bool IsDatedAfterTomorrow(const CRateTable& table, UnixSeconds now);

// Whether `candidate` may replace `inForce` (null: nothing in force, any
// parsed file may). It may not when it is dated before the rates in force,
// lacks a major currency they hold, or keeps fewer than half of their
// currencies. `why` says which.
bool MayReplace(const CRateTable* inForce, const CRateTable& candidate, std::string& why);

}  // namespace ratesvc
