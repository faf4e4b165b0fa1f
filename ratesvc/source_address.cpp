#include "source_address.h"

#include <cstdint>

namespace ratesvc {

namespace {

AddressKind KindOfIpv4(const unsigned char* a) {
    if (a[0] == 127) return AddressKind::kLoopback;
    if (a[0] == 0 || a[0] == 10 || (a[0] == 172 && (a[1] & 0xF0) == 16) || (a[0] == 192 && a[1] == 168) ||
        (a[0] == 169 && a[1] == 254) || (a[0] == 100 && (a[1] & 0xC0) == 64))
        return AddressKind::kLocal;
    return AddressKind::kPublic;
}

bool ParseIpv4(std::string_view text, unsigned char out[4]) {
    int part = 0;
    size_t digits = 0;
    unsigned value = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '.') {
            if (!digits || value > 255 || part > 3) return false;
            out[part++] = static_cast<unsigned char>(value);
            digits = value = 0;
        } else if (text[i] >= '0' && text[i] <= '9' && digits < 3) {
            value = value * 10 + static_cast<unsigned>(text[i] - '0');
            ++digits;
        } else {
            return false;
        }
    }
    return part == 4;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// "::1", "fe80::1", "::ffff:10.0.0.1": the 16 bytes, or false.
bool ParseIpv6(std::string_view text, unsigned char out[16]) {
    std::uint16_t groups[8] = {};
    int count = 0, gap = -1;
    size_t i = 0;
    if (text.substr(0, 2) == "::") {
        gap = 0;
        i = 2;
    }
    while (i < text.size()) {
        if (count == 8) return false;
        const size_t end = text.find(':', i);
        const std::string_view piece = text.substr(i, end == std::string_view::npos ? std::string_view::npos : end - i);
        if (piece.find('.') != std::string_view::npos) {  // an IPv4 tail
            unsigned char v4[4];
            if (end != std::string_view::npos || count > 6 || !ParseIpv4(piece, v4)) return false;
            groups[count++] = static_cast<std::uint16_t>(v4[0] << 8 | v4[1]);
            groups[count++] = static_cast<std::uint16_t>(v4[2] << 8 | v4[3]);
            i = text.size();
            break;
        }
        if (piece.empty() || piece.size() > 4) return false;
        unsigned value = 0;
        for (const char c : piece) {
            const int d = HexDigit(c);
            if (d < 0) return false;
            value = value * 16 + static_cast<unsigned>(d);
        }
        groups[count++] = static_cast<std::uint16_t>(value);
        if (end == std::string_view::npos) {
            i = text.size();
        } else if (text.substr(end, 2) == "::") {
            if (gap >= 0) return false;
            gap = count;
            i = end + 2;
        } else {
            i = end + 1;
            if (i == text.size()) return false;
        }
    }
    if (gap < 0 ? count != 8 : count > 7) return false;
    std::uint16_t full[8] = {};
    const int tail = gap < 0 ? 0 : count - gap;
    for (int k = 0; k < (gap < 0 ? count : gap); ++k) full[k] = groups[k];
    for (int k = 0; k < tail; ++k) full[8 - tail + k] = groups[gap + k];
    for (int k = 0; k < 8; ++k) {
        out[2 * k] = static_cast<unsigned char>(full[k] >> 8);
        out[2 * k + 1] = static_cast<unsigned char>(full[k] & 0xFF);
    }
    return true;
}

struct UrlParts {
    std::string_view scheme, host;
};

bool SplitUrl(std::string_view url, UrlParts& parts) {
    const size_t colon = url.find("://");
    if (colon == std::string_view::npos) return false;
    parts.scheme = url.substr(0, colon);
    std::string_view rest = url.substr(colon + 3);
    rest = rest.substr(0, rest.find_first_of("/?#"));
    const size_t at = rest.rfind('@');
    if (at != std::string_view::npos) rest.remove_prefix(at + 1);
    if (!rest.empty() && rest.front() == '[') {
        const size_t close = rest.find(']');
        if (close == std::string_view::npos) return false;
        parts.host = rest.substr(0, close + 1);
    } else {
        parts.host = rest.substr(0, rest.find(':'));
    }
    return !parts.host.empty();
}

bool SameLetters(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] + 32) : a[i];
        if (x != b[i]) return false;
    }
    return true;
}

}  // namespace

AddressKind KindOfAddress(const unsigned char* bytes, size_t size) {
    if (size == 4) return KindOfIpv4(bytes);
    if (size != 16) return AddressKind::kPublic;
    static const unsigned char kMapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    bool mapped = true, zeroes = true;
    for (size_t i = 0; i < 12; ++i) {
        mapped &= bytes[i] == kMapped[i];
        zeroes &= bytes[i] == 0;
    }
    if (mapped) return KindOfIpv4(bytes + 12);
    if (zeroes && bytes[12] == 0 && bytes[13] == 0 && bytes[14] == 0)
        return bytes[15] == 1 ? AddressKind::kLoopback : AddressKind::kLocal;  // ::1, and :: itself
    if (bytes[0] == 0xFE && (bytes[1] & 0xC0) == 0x80) return AddressKind::kLocal;  // fe80::/10
    if ((bytes[0] & 0xFE) == 0xFC) return AddressKind::kLocal;                      // fc00::/7
    return AddressKind::kPublic;
}

AddressKind KindOfHost(std::string_view host) {
    if (SameLetters(host, "localhost")) return AddressKind::kLoopback;
    unsigned char bytes[16];
    if (ParseIpv4(host, bytes)) return KindOfAddress(bytes, 4);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']' && ParseIpv6(host.substr(1, host.size() - 2), bytes))
        return KindOfAddress(bytes, 16);
    return AddressKind::kPublic;
}

AddressKind KindOfUrlHost(std::string_view url) {
    UrlParts parts;
    return SplitUrl(url, parts) ? KindOfHost(parts.host) : AddressKind::kPublic;
}

std::string RefusedSourceUrl(std::string_view url) {
    UrlParts parts;
    if (!SplitUrl(url, parts)) return "not an http or https address";
    if (SameLetters(parts.scheme, "https")) return {};
    if (!SameLetters(parts.scheme, "http")) return "not an http or https address";
    if (KindOfHost(parts.host) != AddressKind::kLoopback)
        return "plain http, which anyone on the way can rewrite, is only for a source on this computer";
    return {};
}

bool MayConnect(AddressKind origin, AddressKind target) {
    return origin != AddressKind::kPublic || target == AddressKind::kPublic;
}

}  // namespace ratesvc
