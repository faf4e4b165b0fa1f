// The version text of update.txt, as the update agent reads it: up to the
// first zero byte. Checks that a parsed version prints and parses back to
// itself and that comparing is antisymmetric.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "update/version.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* text = reinterpret_cast<const char*>(data);
    const std::string_view whole(text, size);
    const std::string_view offered = whole.substr(0, std::min(whole.find('\0'), size));
    if (const auto v = update::ParseVersion(offered)) {
        for (unsigned n : *v) Check(n <= 65535);
        const std::string printed = update::VersionText(*v);
        Check(update::ParseVersion(printed) == v);
        Check(update::CompareVersions(offered, printed) == 0);
    }
    // Two texts at once: the halves either side of the first line end.
    const size_t cut = whole.find('\n');
    if (cut == std::string_view::npos) return 0;
    const std::string_view a = whole.substr(0, cut), b = whole.substr(cut + 1);
    const int ab = update::CompareVersions(a, b), ba = update::CompareVersions(b, a);
    if (ab >= -1 && ba >= -1) Check(ab == -ba);
    if (!update::ParseVersion(a)) Check(ab == -21);
    return 0;
}
