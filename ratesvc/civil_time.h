// Calendar dates and UTC times as the sources write them, turned into
// seconds since 1970 and back, without the C library's time zone or locale.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ratesvc {

using UnixSeconds = std::int64_t;
constexpr UnixSeconds kSecondsPerDay = 86400;

// "2026-12-09": midnight UTC of that day. False for anything else, a day
// that does not exist (2026-02-30) included.
bool ParseIsoDate(std::string_view text, UnixSeconds& at);

// "2026-12-09T16:08:54Z", with optional fractions of a second and "+00:00"
// for Z. Other offsets are refused: every source here writes UTC.
bool ParseIsoUtc(std::string_view text, UnixSeconds& at);

// An HTTP date (IMF-fixdate, "Wed, 09 Dec 2026 16:08:54 GMT").
bool ParseHttpDate(std::string_view text, UnixSeconds& at);

// "2026-12-09T16:08:54Z".
std::string FormatIsoUtc(UnixSeconds at);

// The system clock now.
UnixSeconds WallClockNow();

// The end of tomorrow, UTC, as seen at `now`: no source's data may be dated
// later (a clock a day off either way must not refuse genuine data).
UnixSeconds LatestTrustedDate(UnixSeconds now);

}  // namespace ratesvc
