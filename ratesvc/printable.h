// Text from a file, the network or a client on its way into a log line, a
// fault string or a header: hostile until made printable.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ratesvc {

// Printable ASCII is kept; every other byte (CR, LF, NUL, ESC, UTF-8
// sequences, ...) becomes \xNN, so no input can end a log line early or
// forge another. Printable text comes out unchanged, so text made printable
// once (a fault reason) can pass a second guard (the fault writer) as it is.
// Longer input is cut at `maxBytes` of output and ends in "...".
std::string Printable(std::string_view text, size_t maxBytes = 512);

// Printable(text, maxBytes) in double quotes: how a fault names a client's
// text without echoing more than a few dozen bytes of it.
std::string Quoted(std::string_view text, size_t maxBytes = 32);

}  // namespace ratesvc
