// Frankfurter: central-bank reference rates as
// [{"date":"2026-12-09","base":"EUR","quote":"USD","rate":1.0812}, ...],
// units of the quote per one unit of the base, each dated by the day its
// central bank published it.
#include <algorithm>

#include "printable.h"
#include "rate_checks.h"
#include "rate_lookup.h"
#include "sources/json_reader.h"
#include "sources/rate_source.h"

namespace ratesvc {

namespace {

class CReferenceSource : public CRateSource {
public:
    explicit CReferenceSource(std::string url) : m_strUrl(std::move(url)) {}

    SourceId Id() const override { return SourceId::kReference; }
    std::vector<std::string> Urls() const override { return {m_strUrl}; }
    // Some 200 records of about 70 bytes; two megabytes leave room for
    // whitespace and more currencies.
    size_t MaxBody() const override { return 2u << 20; }
    std::chrono::seconds MinEvery() const override { return std::chrono::seconds(60); }
    bool FreshFromFetch() const override { return false; }

    bool Read(size_t, std::string_view body, UnixSeconds now, CQuotes& into, std::string& why) const override {
        nlohmann::json doc;
        if (!ReadJson(body, doc, why)) return false;
        if (!doc.is_array()) return Refuse(why, "not an array of rates");
        struct Rate {
            double dPerBase;
            UnixSeconds date;
        };
        std::map<std::string, Rate> rates;
        std::string base, newest;
        for (const auto& record : doc) {
            const std::string* date = StringMember(record, "date");
            const std::string* from = StringMember(record, "base");
            const std::string* quote = StringMember(record, "quote");
            double rate = 0;
            UnixSeconds day = 0;
            if (!date || !from || !quote || !JsonNumber(record.contains("rate") ? record["rate"] : nlohmann::json(), rate))
                return Refuse(why, "a record without date, base, quote and a numeric rate");
            if (!ParseIsoDate(*date, day)) return Refuse(why, "a record dated " + Quoted(*date));
            if (day > LatestTrustedDate(now)) return Refuse(why, "dated " + *date + ", after tomorrow");
            if (base.empty()) base = *from;
            if (*from != base) return Refuse(why, "records of two bases");
            if (!IsServedCode(*quote)) continue;
            if (!IsPlausiblePerEuro(rate))
                return Refuse(why, "the rate of " + *quote + " is not a plausible number (" + Printable(record["rate"].dump(), 24) + ")");
            if (!rates.emplace(*quote, Rate{rate, day}).second) return Refuse(why, "two records for " + *quote);
            newest = std::max(newest, *date);
        }
        if (base.empty()) return Refuse(why, "no rates");
        UnixSeconds baseDay = 0;
        ParseIsoDate(newest, baseDay);
        rates[base] = {1, baseDay};
        const auto usd = rates.find("USD");
        if (usd == rates.end()) return Refuse(why, "no rate for USD");
        // Data past the stale bound is of no use now, and a source that
        // sends only such data is broken or replaying an old answer.
        const UnixSeconds oldest = now - StaleAfter(SourceId::kReference).count();
        for (const auto& [code, rate] : rates)
            if (std::min(rate.date, usd->second.date) >= oldest)
                into.quotes[code] = {rate.dPerBase / usd->second.dPerBase, std::min(rate.date, usd->second.date)};
        if (into.quotes.empty()) return Refuse(why, "data of " + newest + ", too old to serve");
        into.quotes["USD"] = {1, usd->second.date};
        into.strAsOf = newest;
        return true;
    }

private:
    std::string m_strUrl;
};

}  // namespace

std::unique_ptr<CRateSource> MakeReferenceSource(std::string url) {
    return std::make_unique<CReferenceSource>(std::move(url));
}

}  // namespace ratesvc
