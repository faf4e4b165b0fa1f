#include "update/version.h"

namespace update {

namespace {
constexpr unsigned kMaxNumber = 65535;
constexpr int kOfferedMalformed = -21;
constexpr int kRunningMalformed = -22;
}  // namespace

std::optional<Version> ParseVersion(std::string_view text) {
    Version v{};
    size_t count = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        if (text[pos] == '.') {
            ++pos;
            continue;
        }
        if (count == v.size()) return std::nullopt;
        unsigned number = 0;
        for (; pos < text.size() && text[pos] != '.'; ++pos) {
            const char c = text[pos];
            if (c < '0' || c > '9') return std::nullopt;
            number = number * 10 + static_cast<unsigned>(c - '0');
            // Checked per digit, so a long run of digits cannot overflow.
            if (number > kMaxNumber) return std::nullopt;
        }
        v[count++] = number;
    }
    return v;
}

std::string VersionText(const Version& v) {
    return std::to_string(v[0]) + "." + std::to_string(v[1]) + "." + std::to_string(v[2]) + "." +
           std::to_string(v[3]);
}

int CompareVersions(std::string_view offered, std::string_view running) {
    const std::optional<Version> a = ParseVersion(offered);
    if (!a) return kOfferedMalformed;
    const std::optional<Version> b = ParseVersion(running);
    if (!b) return kRunningMalformed;
    if (*a == *b) return 0;
    return *a > *b ? 1 : -1;
}

}  // namespace update
