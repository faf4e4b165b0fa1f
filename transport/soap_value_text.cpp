#include "transport/soap_value_text.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace soap {

namespace {

// Longest number text worth converting: longer is not a number anyone sends,
// and the bound keeps the conversion buffer on the stack.
constexpr size_t kMaxNumberText = 512;

bool IsCSpace(char16_t c) { return c == ' ' || (c >= 0x09 && c <= 0x0D); }

bool IsXmlSpace(char16_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool Equals(std::u16string_view text, const char* ascii) {
    size_t n = std::strlen(ascii);
    if (text.size() != n) return false;
    for (size_t i = 0; i < n; ++i)
        if (text[i] != static_cast<unsigned char>(ascii[i])) return false;
    return true;
}

int HexValue(char16_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

int Base64Value(char16_t c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

const char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

}  // namespace

void FormatDouble(double value, std::string& out) {
    if (std::isnan(value)) { out += "NaN"; return; }
    if (std::isinf(value)) { out += value > 0 ? "INF" : "-INF"; return; }
    if (value == 0 && std::signbit(value)) { out += "-0"; return; }
    // %g with 512 digits is exact and, for every double below 1e512, fixed;
    // it already drops trailing zeros, a dangling point is removed below.
    char buf[1200];
    int n = std::snprintf(buf, sizeof buf, "%.512g", value);
    if (n <= 0) return;
    if (static_cast<size_t>(n) >= sizeof buf) n = sizeof buf - 1;
    if (buf[n - 1] == '.') --n;
    out.append(buf, static_cast<size_t>(n));
}

void FormatHexBinary(const uint8_t* data, size_t len, std::string& out) {
    static const char kHex[] = "0123456789ABCDEF";
    for (size_t i = 0; i < len; ++i) {
        out += kHex[data[i] >> 4];
        out += kHex[data[i] & 0xF];
    }
}

void FormatBase64Binary(const uint8_t* data, size_t len, std::string& out) {
    size_t i = 0;
    for (; i + 3 <= len; i += 3) {
        uint32_t v = (uint32_t{data[i]} << 16) | (uint32_t{data[i + 1]} << 8) | data[i + 2];
        out += kBase64[v >> 18];
        out += kBase64[(v >> 12) & 63];
        out += kBase64[(v >> 6) & 63];
        out += kBase64[v & 63];
    }
    if (len - i == 1) {
        uint32_t v = uint32_t{data[i]} << 16;
        out += kBase64[v >> 18];
        out += kBase64[(v >> 12) & 63];
        out += "==";
    } else if (len - i == 2) {
        uint32_t v = (uint32_t{data[i]} << 16) | (uint32_t{data[i + 1]} << 8);
        out += kBase64[v >> 18];
        out += kBase64[(v >> 12) & 63];
        out += kBase64[(v >> 6) & 63];
        out += '=';
    }
}

bool ParseBoolean(std::u16string_view text, bool* value) {
    if (Equals(text, "1") || Equals(text, "true")) { *value = true; return true; }
    if (Equals(text, "0") || Equals(text, "false")) { *value = false; return true; }
    return false;
}

bool ParseDouble(std::u16string_view text, double* value) {
    if (Equals(text, "INF")) { *value = HUGE_VAL; return true; }
    if (Equals(text, "-INF")) { *value = -HUGE_VAL; return true; }
    if (Equals(text, "NaN")) { *value = std::nan(""); return true; }
    if (text.empty() || text.size() > kMaxNumberText) return false;
    // Only decimal notation reaches strtod: C runtimes differ on "nan",
    // "infinity" and hex floats, and the two XML readers must agree.
    char buf[kMaxNumberText + 1];
    size_t i = 0;
    for (; i < text.size() && IsCSpace(text[i]); ++i) buf[i] = static_cast<char>(text[i]);
    for (size_t j = i; j < text.size(); ++j) {
        char16_t c = text[j];
        if (!((c >= '0' && c <= '9') || c == '.' || c == '+' || c == '-' || c == 'e' || c == 'E'))
            return false;
        buf[j] = static_cast<char>(c);
    }
    buf[text.size()] = 0;
    errno = 0;
    char* end = nullptr;
    double v = std::strtod(buf, &end);
    if (end != buf + text.size() || end == buf + i) return false;
    if (errno == ERANGE || v == HUGE_VAL || v == -HUGE_VAL) return false;
    *value = v;
    return true;
}

bool ParseUnsigned(std::u16string_view text, uint64_t max, uint64_t* value) {
    size_t i = 0;
    while (i < text.size() && IsCSpace(text[i])) ++i;
    if (i < text.size() && text[i] == '+') ++i;
    if (i == text.size()) return false;
    uint64_t v = 0;
    for (; i < text.size(); ++i) {
        char16_t c = text[i];
        if (c < '0' || c > '9') return false;
        unsigned d = static_cast<unsigned>(c - '0');
        if (v > (UINT64_MAX - d) / 10) return false;
        v = v * 10 + d;
    }
    if (v > max) return false;
    *value = v;
    return true;
}

bool ParseSigned(std::u16string_view text, int64_t min, int64_t max, int64_t* value) {
    size_t i = 0;
    while (i < text.size() && IsCSpace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    uint64_t magnitude;
    if (i == text.size() || text[i] == '+' || text[i] == '-' || IsCSpace(text[i])) return false;
    if (!ParseUnsigned(text.substr(i), UINT64_MAX, &magnitude)) return false;
    int64_t v;
    if (negative) {
        if (magnitude > uint64_t{1} << 63) return false;
        v = magnitude == uint64_t{1} << 63 ? INT64_MIN : -static_cast<int64_t>(magnitude);
    } else {
        if (magnitude > static_cast<uint64_t>(INT64_MAX)) return false;
        v = static_cast<int64_t>(magnitude);
    }
    if (v < min || v > max) return false;
    *value = v;
    return true;
}

bool ParseHexBinary(std::u16string_view text, SoapBinary* value) {
    if (text.size() % 2 != 0 || text.size() / 2 > INT32_MAX) return false;
    const size_t n = text.size() / 2;
    auto* bytes = static_cast<uint8_t*>(std::malloc(n ? n : 1));
    if (!bytes) return false;
    for (size_t i = 0; i < n; ++i) {
        int hi = HexValue(text[2 * i]), lo = HexValue(text[2 * i + 1]);
        if (hi < 0 || lo < 0) { std::free(bytes); return false; }
        bytes[i] = static_cast<uint8_t>(hi << 4 | lo);
    }
    value->pData = bytes;
    value->nLength = static_cast<int32_t>(n);
    return true;
}

bool ParseBase64Binary(std::u16string_view text, SoapBinary* value) {
    if (text.size() / 4 * 3 > INT32_MAX) return false;
    auto* bytes = static_cast<uint8_t*>(std::malloc(text.size() / 4 * 3 + 3));
    if (!bytes) return false;
    size_t n = 0;
    uint32_t acc = 0;
    int have = 0, pad = 0;
    for (char16_t c : text) {
        if (IsXmlSpace(c)) continue;  // line breaks of long values
        if (c == '=') { ++pad; continue; }
        int v = Base64Value(c);
        if (v < 0 || pad) { std::free(bytes); return false; }
        acc = acc << 6 | static_cast<uint32_t>(v);
        if (++have == 4) {
            bytes[n++] = static_cast<uint8_t>(acc >> 16);
            bytes[n++] = static_cast<uint8_t>(acc >> 8);
            bytes[n++] = static_cast<uint8_t>(acc);
            acc = 0;
            have = 0;
        }
    }
    // A last group of 2 or 3 characters needs exactly the fill that completes it.
    bool ok = (have == 0 && pad == 0) || (have == 2 && pad == 2) || (have == 3 && pad == 1);
    if (!ok) { std::free(bytes); return false; }
    if (have == 2) bytes[n++] = static_cast<uint8_t>(acc >> 4);
    if (have == 3) {
        bytes[n++] = static_cast<uint8_t>(acc >> 10);
        bytes[n++] = static_cast<uint8_t>(acc >> 2);
    }
    value->pData = bytes;
    value->nLength = static_cast<int32_t>(n);
    return true;
}

}  // namespace soap
