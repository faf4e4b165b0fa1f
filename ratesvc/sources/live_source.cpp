// Coinbase's exchange rates: {"data":{"currency":"USD","rates":{"AED":"3.6725",...}}},
// units of each currency per one unit of the base, as decimal strings. The
// answer carries no time of its own: the fetch is its time.
#include "printable.h"
#include "rate_checks.h"
#include "rate_lookup.h"
#include "sources/json_reader.h"
#include "sources/rate_source.h"

namespace ratesvc {

namespace {

class CLiveSource : public CRateSource {
public:
    explicit CLiveSource(std::string url) : m_strUrl(std::move(url)) {}

    SourceId Id() const override { return SourceId::kLive; }
    std::vector<std::string> Urls() const override { return {m_strUrl}; }
    // About 300 codes in some 10 KB; a megabyte is far beyond any real answer.
    size_t MaxBody() const override { return 1u << 20; }
    std::chrono::seconds MinEvery() const override { return std::chrono::seconds(30); }

    bool Read(size_t, std::string_view body, UnixSeconds now, CQuotes& into, std::string& why) const override {
        nlohmann::json doc;
        if (!ReadJson(body, doc, why)) return false;
        const auto data = doc.is_object() ? doc.find("data") : doc.end();
        if (data == doc.end() || !data->is_object()) return Refuse(why, "no data object");
        const std::string* base = StringMember(*data, "currency");
        const auto rates = data->find("rates");
        if (!base || rates == data->end() || !rates->is_object()) return Refuse(why, "no currency or rates");
        std::map<std::string, double> perBase;
        for (const auto& [code, value] : rates->items()) {
            // Crypto and dead codes are no business of ours, whatever they hold.
            if (!IsServedCode(code) || IsMetalCode(code)) continue;
            double rate = 0;
            if (!DecimalString(value, rate)) return Refuse(why, "the rate of " + Printable(code, 8) + " is not a decimal string");
            if (!IsPlausiblePerEuro(rate))
                return Refuse(why, "the rate of " + code + " is not a plausible number (" + Printable(value.dump(), 24) + ")");
            perBase[code] = rate;
        }
        perBase[*base] = 1;
        const auto usd = perBase.find("USD");
        if (usd == perBase.end()) return Refuse(why, "no rate for USD");
        for (const auto& [code, rate] : perBase) into.quotes[code] = {rate / usd->second, now};
        into.strAsOf = FormatIsoUtc(now);
        return true;
    }

private:
    std::string m_strUrl;
};

}  // namespace

std::unique_ptr<CRateSource> MakeLiveSource(std::string url) { return std::make_unique<CLiveSource>(std::move(url)); }

}  // namespace ratesvc
