// Release version numbers as the download folder's update.txt and the
// executable's version resource give them: one to four decimal numbers
// separated by dots (major, minor, build, revision).
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace update {

using Version = std::array<unsigned, 4>;

// "2", "2.0", ... "2.0.0.1"; missing trailing numbers are 0 and empty pieces
// between dots are skipped. Anything but digits and dots, a fifth number, or
// a number above 65535 (a version resource holds 16 bits per number) makes
// the text malformed.
std::optional<Version> ParseVersion(std::string_view text);

// "2.0.0.1"
std::string VersionText(const Version& v);

// 1 when offered is newer than running, 0 when equal, -1 when older;
// -21 when offered is malformed, -22 when running is.
int CompareVersions(std::string_view offered, std::string_view running);

}  // namespace update
