// readme.txt, the release notes put beside the executable. They carry no
// signature, so they may only ever be a small text file.
#pragma once

#include <cstddef>

namespace update {

// Far beyond any release's notes; a larger download is refused.
constexpr size_t kReleaseNotesMax = 64 * 1024;

// True when the bytes are text a user can read in Notepad: printable ASCII,
// tabs and line ends, and bytes from 0x80 up (Shift_JIS or UTF-8), at most
// kReleaseNotesMax of them. A NUL or another control byte means the file is
// something else (an executable, a script with escape sequences).
bool IsReleaseNotesText(const unsigned char* data, size_t size);

}  // namespace update
