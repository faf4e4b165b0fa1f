// The rate book's choices: which source answers a pair, when a source's
// quotes go stale, which live quotes are held back, and the replaced codes.
#include "rate_book.h"

#include <gtest/gtest.h>

#include <cmath>

#include "civil_time.h"
#include "rate_lookup.h"
#include "request_budget.h"

namespace {

using namespace ratesvc;

constexpr UnixSeconds kNow = 1796400000;  // 2026-12-04T16:00:00Z

CQuotes Quotes(std::initializer_list<std::pair<const char*, double>> perUsd, UnixSeconds asOf) {
    CQuotes q;
    for (const auto& [code, rate] : perUsd) q.quotes[code] = {rate, asOf};
    q.quotes["USD"] = {1, asOf};
    q.strAsOf = FormatIsoUtc(asOf);
    return q;
}

struct Book {
    std::string log;
    CRateBook book{[this](const std::string& line) { log += line + "\n"; }};
    Book() {
        book.Take(SourceId::kLive, Quotes({{"JPY", 155.0}, {"EUR", 0.9}, {"GHS", 15.0}, {"VES", 300.0}}, kNow));
        book.Take(SourceId::kReference, Quotes({{"JPY", 150.0}, {"EUR", 0.92}, {"XAU", 0.00025}, {"KPW", 900}},
                                               kNow - 86400));
        book.Take(SourceId::kMetals, Quotes({{"XAU", 1 / 4000.0}}, kNow));
    }
    CRateAnswer At(const char* from, const char* to, UnixSeconds now = kNow) { return RateForCodes(book, from, to, now); }
};

TEST(RateBook, AnswersWithinTheBestSourceThatHoldsBothFresh) {
    Book b;
    struct Row {
        const char *from, *to;
        double rate;
        const char* source;
    } const rows[] = {
        {"USD", "JPY", 155.0, "live"},
        {"EUR", "JPY", 155.0 / 0.9, "live"},
        {"XAU", "USD", 4000.0, "metals"},
        {"XAU", "JPY", 150.0 / 0.00025, "reference"},  // not live JPY crossed with metals
        {"KPW", "GHC", 15.0 * 10000 / 900, "mixed"},   // only the reference has KPW, only live GHS
        {"EUR", "HRK", 7.5345, "fixed"},
        {"GHC", "USD", 1 / (15.0 * 10000), "live"},   // replaced code: successor times its legal factor
        {"CYP", "USD", 1 / (0.9 * 0.585274), "live"},  // fixed to the euro, whatever a source lists
        {"VEB", "USD", 1 / (300 * 1e14), "live"},
    };
    for (const Row& r : rows) {
        const CRateAnswer a = b.At(r.from, r.to);
        ASSERT_EQ(a.kind, FaultKind::kNone) << r.from << r.to << " " << a.strReason;
        EXPECT_NEAR(a.dRate / r.rate, 1, 1e-12) << r.from << r.to;
        EXPECT_STREQ(a.pszSource, r.source) << r.from << r.to;
    }
    const CRateAnswer zwd = b.At("ZWD", "USD");
    EXPECT_EQ(zwd.kind, FaultKind::kServer);
    EXPECT_NE(zwd.strReason.find("abandoned"), std::string::npos);
    EXPECT_EQ(b.At("USD", "MRO").kind, FaultKind::kServer);  // no source quotes MRU
}

TEST(RateBook, StaleQuotesGiveWayToTheNextSourceAndComeBackWhenFresh) {
    Book b;
    const UnixSeconds liveStale = kNow + StaleAfter(SourceId::kLive).count() + 1;
    EXPECT_STREQ(b.At("USD", "JPY", liveStale - 2).pszSource, "live");
    const CRateAnswer fallback = b.At("USD", "JPY", liveStale);
    EXPECT_STREQ(fallback.pszSource, "reference");
    EXPECT_DOUBLE_EQ(fallback.dRate, 150.0);
    b.book.Confirm(SourceId::kLive, liveStale);  // a "not modified" vouches anew
    EXPECT_STREQ(b.At("USD", "JPY", liveStale).pszSource, "live");

    // Reference stale too: the bank's file, at any age.
    CRateTable bank;
    bank.m_strDate = "2020-01-02";
    bank.m_perEuro = {{"USD", 1.1}, {"JPY", 121}};
    b.book.TakeBankTable(std::make_shared<CRateTable>(bank), kNow);
    const UnixSeconds allStale = kNow + StaleAfter(SourceId::kReference).count();
    const CRateAnswer last = b.At("USD", "JPY", allStale);
    EXPECT_STREQ(last.pszSource, "bank");
    EXPECT_DOUBLE_EQ(last.dRate, 110.0);
    EXPECT_EQ(b.At("USD", "KPW", allStale).kind, FaultKind::kServer);
}

TEST(RateBook, HoldsBackALiveQuoteThatStraysFromTheReference) {
    Book b;
    b.book.Take(SourceId::kLive, Quotes({{"JPY", 1550.0}, {"EUR", 0.9 * 2.5}}, kNow));  // a decimal slip; a devaluation
    EXPECT_STREQ(b.At("USD", "JPY").pszSource, "reference");
    EXPECT_STREQ(b.At("USD", "EUR").pszSource, "live");
    EXPECT_NE(b.log.find("live: JPY at 1550 per dollar strays from the reference's 150"), std::string::npos) << b.log;
    b.book.Take(SourceId::kLive, Quotes({{"JPY", 1550.0}}, kNow + 60));
    EXPECT_EQ(b.log.find("JPY", b.log.find('\n') + 1), std::string::npos) << "said once: " << b.log;
    EXPECT_EQ(b.book.Summary(SourceId::kLive, kNow).nHeldBack, 1u);
    // A reference past its bound says nothing of today's market.
    const UnixSeconds later = kNow + 6 * kSecondsPerDay;
    b.book.Take(SourceId::kLive, Quotes({{"JPY", 1550.0}}, later));
    EXPECT_EQ(b.book.Summary(SourceId::kLive, later).nHeldBack, 0u);
    EXPECT_STREQ(b.At("USD", "JPY", later).pszSource, "live");
}

TEST(RateBook, CoverageCountsTheListBySource) {
    Book b;
    const auto c = b.book.Coverage(kNow);
    EXPECT_EQ(c.nAnswered + c.missing.size(), ListedCodes().size());
    EXPECT_EQ(c.bySource.at("metals"), 1u);  // XAU
    EXPECT_EQ(c.bySource.at("fixed"), 1u);   // USD itself
    EXPECT_GE(c.bySource.at("legacy"), 9u);  // the euro's eight and GHC, VEB
    bool zwd = false;
    for (const auto& [code, why] : c.missing) zwd |= code == "ZWD";
    EXPECT_TRUE(zwd);
}

TEST(CivilTime, ReadsTheSourcesDatesAndRefusesTheRest) {
    UnixSeconds at = 0;
    EXPECT_TRUE(ParseIsoUtc("2026-12-04T16:00:00Z", at));
    EXPECT_EQ(at, kNow);
    EXPECT_TRUE(ParseIsoUtc("2026-12-04T16:00:00.125+00:00", at));
    EXPECT_EQ(at, kNow);
    EXPECT_TRUE(ParseHttpDate("Fri, 04 Dec 2026 16:00:00 GMT", at));
    EXPECT_EQ(at, kNow);
    EXPECT_EQ(FormatIsoUtc(kNow), "2026-12-04T16:00:00Z");
    for (const char* bad : {"2026-02-29T00:00:00Z", "2026-12-04T16:00:00+01:00", "2026-12-04T24:00:00Z",
                            "2026-12-04", "9999-99-99T00:00:00Z", "2026-12-04T16:00:00.Z"})
        EXPECT_FALSE(ParseIsoUtc(bad, at)) << bad;
    EXPECT_TRUE(ParseIsoDate("2028-02-29", at));
    EXPECT_FALSE(ParseIsoDate("2026-02-29", at));
    EXPECT_EQ(FormatIsoUtc(LatestTrustedDate(kNow)), "2026-12-05T23:59:59Z");
}

}  // namespace

namespace {

TEST(ServeLimits, IdleConnectionsWaitLessAsTheSlotsFill) {
    using std::chrono::milliseconds;
    const milliseconds idle(600000);
    const struct {
        int open, max;
        long long bound;
    } rows[] = {{1, 256, 600000}, {128, 256, 600000}, {192, 256, 300000}, {255, 256, 4687}, {256, 256, 1000}, {300, 256, 1000}};
    for (const auto& r : rows) EXPECT_EQ(ratesvc::IdleBound(idle, r.open, r.max).count(), r.bound) << r.open;
}

}  // namespace
