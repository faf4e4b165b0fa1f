// gold-api.com: {"currency":"USD","name":"Gold","price":4165.2,"symbol":"XAU",
// "updatedAt":"2026-12-09T16:08:54Z"}, dollars per troy ounce, one request
// per metal. Markets close at weekends while the price stays the one in
// force, so the fetch, not updatedAt, is what the quote is fresh from;
// updatedAt only tells a stuck or replayed answer.
#include "printable.h"
#include "rate_checks.h"
#include "sources/json_reader.h"
#include "sources/rate_source.h"

namespace ratesvc {

namespace {

constexpr const char* kMetals[] = {"XAU", "XAG", "XPT", "XPD"};
// A weekend and a holiday or two; older means the publisher is stuck.
constexpr UnixSeconds kMaxPriceAge = 7 * kSecondsPerDay;

class CMetalsSource : public CRateSource {
public:
    explicit CMetalsSource(std::string prefix) : m_strPrefix(std::move(prefix)) {}

    SourceId Id() const override { return SourceId::kMetals; }
    std::vector<std::string> Urls() const override {
        std::vector<std::string> urls;
        for (const char* metal : kMetals) urls.push_back(m_strPrefix + metal);
        return urls;
    }
    bool ReplacesAll() const override { return false; }
    size_t MaxBody() const override { return 64u << 10; }  // one small object
    std::chrono::seconds MinEvery() const override { return std::chrono::seconds(60); }

    bool Read(size_t index, std::string_view body, UnixSeconds now, CQuotes& into, std::string& why) const override {
        const char* metal = kMetals[index % 4];
        nlohmann::json doc;
        if (!ReadJson(body, doc, why)) return false;
        const std::string* currency = StringMember(doc, "currency");
        const std::string* symbol = StringMember(doc, "symbol");
        const std::string* updated = StringMember(doc, "updatedAt");
        double price = 0;
        UnixSeconds at = 0;
        if (!currency || !symbol || !updated || !doc.contains("price") || !JsonNumber(doc["price"], price))
            return Refuse(why, std::string(metal) + ": no currency, symbol, updatedAt and numeric price");
        if (*symbol != metal || *currency != "USD")
            return Refuse(why, std::string(metal) + ": a price of " + Printable(*symbol, 8) + " in " + Printable(*currency, 8));
        if (!ParseIsoUtc(*updated, at)) return Refuse(why, std::string(metal) + ": updated " + Quoted(*updated));
        if (at > LatestTrustedDate(now)) return Refuse(why, std::string(metal) + ": updated " + *updated + ", after tomorrow");
        if (now - at > kMaxPriceAge) return Refuse(why, std::string(metal) + ": updated " + *updated + ", too old to serve");
        // Dollars per ounce within the bounds any rate has, taken as ounces per dollar.
        if (!IsPlausiblePerEuro(price))
            return Refuse(why, std::string(metal) + ": not a plausible price (" + Printable(doc["price"].dump(), 24) + ")");
        into.quotes[metal] = {1 / price, now};
        into.quotes["USD"] = {1, now};
        if (*updated > into.strAsOf) into.strAsOf = *updated;
        return true;
    }

private:
    std::string m_strPrefix;
};

}  // namespace

std::unique_ptr<CRateSource> MakeMetalsSource(std::string urlPrefix) {
    return std::make_unique<CMetalsSource>(std::move(urlPrefix));
}

}  // namespace ratesvc
