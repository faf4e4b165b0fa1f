#include "civil_time.h"

#include <chrono>
#include <cstdio>

namespace ratesvc {

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's
// days_from_civil), and back.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, std::int64_t& y, unsigned& m, unsigned& d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2);
}

bool Digits(std::string_view s, unsigned& value) {
    if (s.empty()) return false;
    value = 0;
    for (const char c : s) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    return true;
}

bool ValidDay(unsigned y, unsigned m, unsigned d) {
    static const unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (y < 1970 || m < 1 || m > 12 || d < 1) return false;
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return d <= kDays[m - 1] + (m == 2 && leap ? 1u : 0u);
}

bool ClockTime(std::string_view s, unsigned& h, unsigned& mi, unsigned& se) {
    return s.size() == 8 && s[2] == ':' && s[5] == ':' && Digits(s.substr(0, 2), h) && Digits(s.substr(3, 2), mi) &&
           Digits(s.substr(6, 2), se) && h < 24 && mi < 60 && se < 61;
}

}  // namespace

bool ParseIsoDate(std::string_view text, UnixSeconds& at) {
    unsigned y = 0, m = 0, d = 0;
    if (text.size() != 10 || text[4] != '-' || text[7] != '-' || !Digits(text.substr(0, 4), y) ||
        !Digits(text.substr(5, 2), m) || !Digits(text.substr(8, 2), d) || !ValidDay(y, m, d))
        return false;
    at = DaysFromCivil(y, m, d) * kSecondsPerDay;
    return true;
}

bool ParseIsoUtc(std::string_view text, UnixSeconds& at) {
    UnixSeconds day = 0;
    unsigned h = 0, mi = 0, se = 0;
    if (text.size() < 20 || (text[10] != 'T' && text[10] != ' ') || !ParseIsoDate(text.substr(0, 10), day) ||
        !ClockTime(text.substr(11, 8), h, mi, se))
        return false;
    std::string_view zone = text.substr(19);
    if (!zone.empty() && zone.front() == '.') {
        size_t n = 1;
        while (n < zone.size() && zone[n] >= '0' && zone[n] <= '9') ++n;
        if (n == 1 || n > 10) return false;
        zone.remove_prefix(n);
    }
    if (zone != "Z" && zone != "+00:00") return false;
    at = day + h * 3600 + mi * 60 + se;
    return true;
}

bool ParseHttpDate(std::string_view text, UnixSeconds& at) {
    // "Wed, 09 Dec 2026 16:08:54 GMT"
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    if (text.size() != 29 || text.substr(3, 2) != ", " || text[7] != ' ' || text[11] != ' ' || text[16] != ' ' ||
        text.substr(25) != " GMT")
        return false;
    unsigned d = 0, y = 0, m = 0, h = 0, mi = 0, se = 0;
    for (unsigned i = 0; i < 12; ++i)
        if (text.substr(8, 3) == kMonths[i]) m = i + 1;
    if (!m || !Digits(text.substr(5, 2), d) || !Digits(text.substr(12, 4), y) || !ValidDay(y, m, d) ||
        !ClockTime(text.substr(17, 8), h, mi, se))
        return false;
    at = DaysFromCivil(y, m, d) * kSecondsPerDay + h * 3600 + mi * 60 + se;
    return true;
}

std::string FormatIsoUtc(UnixSeconds at) {
    std::int64_t days = at / kSecondsPerDay, rest = at % kSecondsPerDay;
    if (rest < 0) {
        rest += kSecondsPerDay;
        --days;
    }
    std::int64_t y = 0;
    unsigned m = 0, d = 0;
    CivilFromDays(days, y, m, d);
    char text[40];
    std::snprintf(text, sizeof text, "%04lld-%02u-%02uT%02d:%02d:%02dZ", static_cast<long long>(y), m, d,
                  static_cast<int>(rest / 3600), static_cast<int>(rest / 60 % 60), static_cast<int>(rest % 60));
    return text;
}

UnixSeconds WallClockNow() {
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
}

UnixSeconds LatestTrustedDate(UnixSeconds now) {
    std::int64_t days = now / kSecondsPerDay;
    if (now % kSecondsPerDay < 0) --days;
    return (days + 2) * kSecondsPerDay - 1;
}

}  // namespace ratesvc
