#include "printable.h"

namespace ratesvc {

std::string Printable(std::string_view text, size_t maxBytes) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        char piece[4];
        size_t n = 0;
        if (c >= 0x20 && c < 0x7F) {
            piece[n++] = ch;
        } else {
            piece[n++] = '\\';
            piece[n++] = 'x';
            piece[n++] = kHex[c >> 4];
            piece[n++] = kHex[c & 15];
        }
        if (out.size() + n > maxBytes) return out + "...";
        out.append(piece, n);
    }
    return out;
}

std::string Quoted(std::string_view text, size_t maxBytes) { return "\"" + Printable(text, maxBytes) + "\""; }

}  // namespace ratesvc
