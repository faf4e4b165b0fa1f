#include "fetch_headers.h"

namespace ratesvc {

namespace {

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

// The value without surrounding blanks and the line end; empty when it holds
// anything that must not be written into a header of ours.
std::string CleanValue(std::string_view v) {
    if (v.size() >= 2 && v.substr(v.size() - 2) == "\r\n") v.remove_suffix(2);
    else if (!v.empty() && v.back() == '\n') v.remove_suffix(1);
    while (!v.empty() && (v.front() == ' ' || v.front() == '\t')) v.remove_prefix(1);
    while (!v.empty() && (v.back() == ' ' || v.back() == '\t')) v.remove_suffix(1);
    if (v.size() > kMaxValidator) return {};
    for (const char ch : v) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7F) return {};  // a bare CR here would start a header line of the server's choosing
    }
    return std::string(v);
}

}  // namespace

void CValidators::OnHeaderLine(std::string_view line) {
    if (line.substr(0, 5) == "HTTP/") {
        strETag.clear();
        strLastModified.clear();
        strRetryAfter.clear();
        return;
    }
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) return;
    const std::string_view name = line.substr(0, colon);
    if (SameName(name, "ETag")) strETag = CleanValue(line.substr(colon + 1));
    else if (SameName(name, "Last-Modified")) strLastModified = CleanValue(line.substr(colon + 1));
    else if (SameName(name, "Retry-After")) strRetryAfter = CleanValue(line.substr(colon + 1));
}

}  // namespace ratesvc
