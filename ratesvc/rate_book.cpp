#include "rate_book.h"

#include <cmath>
#include <cstdio>

#include "legacy_codes.h"
#include "rate_checks.h"

namespace ratesvc {

namespace {

constexpr SourceId kByPreference[] = {SourceId::kMetals, SourceId::kLive, SourceId::kReference, SourceId::kBank};

size_t Index(SourceId id) { return static_cast<size_t>(id); }

CRateAnswer ServerFault(std::string reason) {
    CRateAnswer a;
    a.kind = FaultKind::kServer;
    a.strReason = std::move(reason);
    return a;
}

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

}  // namespace

const char* SourceName(SourceId id) {
    switch (id) {
        case SourceId::kMetals: return "metals";
        case SourceId::kLive: return "live";
        case SourceId::kReference: return "reference";
        case SourceId::kBank: return "bank";
    }
    return "?";
}

std::chrono::seconds StaleAfter(SourceId id) {
    using namespace std::chrono;
    switch (id) {
        case SourceId::kLive: return minutes(15);
        case SourceId::kMetals: return minutes(30);
        case SourceId::kReference: return hours(24 * 5);
        case SourceId::kBank: break;
    }
    return seconds::max();
}

CRateBook::CRateBook(Log log) : m_log(std::move(log)) {}

void CRateBook::Take(SourceId id, CQuotes quotes) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_sources[Index(id)] = std::move(quotes);
    CheckAgainstReference();
}

void CRateBook::Merge(SourceId id, CQuotes quotes) {
    std::lock_guard<std::mutex> lock(m_mutex);
    CQuotes& held = m_sources[Index(id)];
    for (auto& [code, quote] : quotes.quotes) held.quotes[code] = quote;
    if (!quotes.strAsOf.empty()) held.strAsOf = std::move(quotes.strAsOf);
    CheckAgainstReference();
}

void CRateBook::Confirm(SourceId id, UnixSeconds now) {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto& entry : m_sources[Index(id)].quotes) entry.second.asOf = now;
}

void CRateBook::TakeBankTable(std::shared_ptr<const CRateTable> table, UnixSeconds now) {
    if (!table) return;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (table == m_bankTable) return;
    m_bankTable = table;
    // The bank quotes per euro; the book pivots on the dollar, which the
    // bank's file always holds (a file without it never replaces one with it).
    CQuotes bank;
    bank.strAsOf = table->m_strDate;
    const auto usd = table->PerEuro("USD");
    UnixSeconds asOf = now;
    ParseIsoDate(table->m_strDate, asOf);
    if (usd && *usd > 0) {
        bank.quotes["EUR"] = {1 / *usd, asOf};
        for (const auto& [code, perEuro] : table->m_perEuro) bank.quotes[code] = {perEuro / *usd, asOf};
        bank.quotes["USD"] = {1, asOf};
    }
    m_sources[Index(SourceId::kBank)] = std::move(bank);
}

// With m_mutex held. Each live or metals quote is held against the
// reference's for the same currency, when that was fresh at the quote's
// time; the log hears of each quote newly held back, once.
void CRateBook::CheckAgainstReference() {
    const CQuotes& reference = m_sources[Index(SourceId::kReference)];
    for (const SourceId id : {SourceId::kLive, SourceId::kMetals}) {
        std::set<std::string, std::less<>> heldBack;
        for (const auto& [code, quote] : m_sources[Index(id)].quotes) {
            const auto ref = reference.quotes.find(code);
            if (ref == reference.quotes.end() || code == "USD") continue;
            // Only against a reference that was current when the quote was:
            // a stale one says nothing of today's market.
            if (quote.asOf - ref->second.asOf > StaleAfter(SourceId::kReference).count()) continue;
            const double ratio = quote.dPerUsd / ref->second.dPerUsd;
            if (ratio <= kMaxStrayFromReference && ratio >= 1 / kMaxStrayFromReference) continue;
            heldBack.insert(code);
            if (m_log && !m_heldBack[Index(id)].count(code))
                m_log(std::string(SourceName(id)) + ": " + code + " at " + Number(quote.dPerUsd) +
                      " per dollar strays from the reference's " + Number(ref->second.dPerUsd) + " of " +
                      reference.strAsOf + " by more than " + Number(kMaxStrayFromReference) + "x; not served");
        }
        m_heldBack[Index(id)] = std::move(heldBack);
    }
}

// With m_mutex held.
const CQuote* CRateBook::Fresh(SourceId id, std::string_view code, UnixSeconds now) const {
    const CQuotes& source = m_sources[Index(id)];
    const auto it = source.quotes.find(code);
    if (it == source.quotes.end() || m_heldBack[Index(id)].count(code)) return nullptr;
    if (id != SourceId::kBank && now - it->second.asOf > StaleAfter(id).count()) return nullptr;
    return &it->second;
}

CRateAnswer CRateBook::Answer(std::string_view from, std::string_view to, UnixSeconds now) const {
    struct Side {
        std::string_view code;  // what answers for it: its successor when replaced
        double dFactor = 1;     // units of the asked code per unit of `code`
    } sides[2] = {{from}, {to}};
    for (Side& side : sides) {
        if (const char* why = NoSuccessorReason(side.code)) return ServerFault(why);
        if (const CLegacyCode* legacy = FindLegacyCode(side.code)) {
            side.code = legacy->successor;
            side.dFactor = legacy->unitsPerSuccessor;
        }
    }
    const auto answer = [&](double fromPerUsd, double toPerUsd, const char* source) {
        CRateAnswer a;
        a.dRate = (toPerUsd * sides[1].dFactor) / (fromPerUsd * sides[0].dFactor);
        a.pszSource = source;
        // The sources' numbers are bounded when read, but an answer is the
        // last place an infinite or denormal number could still slip out.
        if (!IsAnswerableRate(a.dRate))
            return ServerFault("No usable rate for " + std::string(from) + " to " + std::string(to));
        return a;
    };

    // One currency under two codes (EUR and HRK): the legal factor alone.
    if (sides[0].code == sides[1].code) return answer(1, 1, "fixed");
    std::lock_guard<std::mutex> lock(m_mutex);
    // Within one source when one holds both fresh.
    for (const SourceId id : kByPreference) {
        const CQuote* a = Fresh(id, sides[0].code, now);
        const CQuote* b = a ? Fresh(id, sides[1].code, now) : nullptr;
        if (a && b) return answer(a->dPerUsd, b->dPerUsd, SourceName(id));
    }
    // Else each leg from the best source that holds it fresh, crossed
    // through the dollar.
    const CQuote* legs[2] = {nullptr, nullptr};
    for (int i = 0; i < 2; ++i) {
        for (const SourceId id : kByPreference)
            if ((legs[i] = Fresh(id, sides[i].code, now))) break;
        if (!legs[i]) {
            std::string why = "No rate for " + std::string(i == 0 ? from : to);
            if (sides[i].code != (i == 0 ? from : to)) why += " (from " + std::string(sides[i].code) + ")";
            return ServerFault(why + " from any source now");
        }
    }
    return answer(legs[0]->dPerUsd, legs[1]->dPerUsd, "mixed");
}

CRateBook::CSourceSummary CRateBook::Summary(SourceId id, UnixSeconds now) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    CSourceSummary s;
    const CQuotes& source = m_sources[Index(id)];
    s.strAsOf = source.strAsOf;
    s.nHeldBack = m_heldBack[Index(id)].size();
    for (const char* code : ListedCodes()) {
        if (!source.quotes.count(std::string_view(code))) continue;
        ++s.nListed;
        if (Fresh(id, code, now)) ++s.nFresh;
    }
    return s;
}

CRateBook::CCoverage CRateBook::Coverage(UnixSeconds now) const {
    CCoverage c;
    for (const char* code : ListedCodes()) {
        const CRateAnswer a = Answer(code, "USD", now);
        if (a.kind != FaultKind::kNone) {
            c.missing.emplace_back(code, a.strReason);
            continue;
        }
        ++c.nAnswered;
        ++c.bySource[FindLegacyCode(code) ? "legacy" : a.pszSource];
    }
    return c;
}

}  // namespace ratesvc
