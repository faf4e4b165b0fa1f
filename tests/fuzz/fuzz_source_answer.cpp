// Arbitrary bytes as an answer of the live, reference or metals source (the
// first byte picks which): whatever a publisher sends, a reader either
// refuses it with a short reason or yields quotes the book can serve.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "rate_checks.h"
#include "sources/rate_source.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace ratesvc;
    if (size < 1) return 0;
    static const std::unique_ptr<CRateSource> sources[] = {
        MakeLiveSource("http://127.0.0.1:1/l"), MakeReferenceSource("http://127.0.0.1:1/r"),
        MakeMetalsSource("http://127.0.0.1:1/m/")};
    const CRateSource& source = *sources[data[0] % 3];
    const std::string_view body(reinterpret_cast<const char*>(data) + 1, size - 1);
    constexpr UnixSeconds kNow = 1796400000;
    CQuotes quotes;
    std::string why;
    if (!source.Read(data[0] / 3 % 4, body, kNow, quotes, why)) {
        if (why.empty() || why.size() > 400) std::abort();
        return 0;
    }
    for (const auto& [code, quote] : quotes.quotes) {
        // Per dollar within the bounds any source's rate has, pivoting included.
        if (!(quote.dPerUsd > 0) || !IsAnswerableRate(quote.dPerUsd)) std::abort();
        if (quote.asOf > LatestTrustedDate(kNow)) std::abort();
    }
    return 0;
}
