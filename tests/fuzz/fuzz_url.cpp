// URL canonicalisation, parsing and rebuilding on arbitrary text. Checks
// that canonical text is a fixed point and that a rebuilt URL parses back
// into the same parts.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "transport/http_url.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* text = reinterpret_cast<const char*>(data);
    std::string canonical;
    if (CHttpUrl::Canonicalize(text, size, &canonical)) {
        std::string again;
        Check(CHttpUrl::Canonicalize(canonical.data(), canonical.size(), &again));
        Check(again == canonical);
    }
    CHttpUrl url;
    if (!url.SetUrl(text, size)) return 0;
    Check(url.Host().size() <= CHttpUrl::kMaxHost);
    Check(url.Path().size() <= CHttpUrl::kMaxPath);
    Check(url.Extra().size() <= CHttpUrl::kMaxExtra);
    std::string rebuilt = url.Rebuild();
    if (!url.Path().empty() && url.Path()[0] == '/' && url.Scheme() != kSchemeUnknown) {
        CHttpUrl back;
        Check(back.Parse(rebuilt.data(), rebuilt.size()));
        Check(back.Host() == url.Host());
        Check(back.Port() == url.Port());
        Check(back.Path() == url.Path());
        Check(back.Extra() == url.Extra());
    }
    return 0;
}
