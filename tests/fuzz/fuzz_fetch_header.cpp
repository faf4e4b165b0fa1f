// Arbitrary bytes as the header lines of a rates download, cut into lines
// the way libcurl hands them over: whatever the server sends, the validators
// kept for the next request fit on one header line of ours.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fetch_headers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ratesvc::CValidators validators;
    std::string_view text(reinterpret_cast<const char*>(data), size);
    while (!text.empty()) {
        const size_t lf = text.find('\n');
        const std::string_view line = text.substr(0, lf == std::string_view::npos ? text.size() : lf + 1);
        text.remove_prefix(line.size());
        validators.OnHeaderLine(line);
        for (const std::string* value : {&validators.strETag, &validators.strLastModified}) {
            if (value->size() > ratesvc::kMaxValidator) std::abort();
            for (const char ch : *value) {
                const auto c = static_cast<unsigned char>(ch);
                if (c < 0x20 || c == 0x7F) std::abort();
            }
            if (!value->empty() && (value->front() == ' ' || value->back() == ' ')) std::abort();
        }
    }
    return 0;
}
