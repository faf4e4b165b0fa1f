#include "alarm/limit_text.h"

#include <charconv>
#include <limits>
#include <system_error>

namespace {

// The field is read through a buffer of 400 characters.
constexpr size_t kFieldChars = 399;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

LimitReading ReadLimitText(std::string_view text) {
    text = text.substr(0, kFieldChars);
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    // Only a plain decimal counts: no "inf", "nan" or hexadecimal forms.
    const bool startsNumber = i < text.size() && (IsDigit(text[i]) || (text[i] == '.' && i + 1 < text.size() &&
                                                                       IsDigit(text[i + 1])));
    if (!startsNumber) return {};

    double value = 0.0;
    const char* first = text.data() + i;
    const auto [end, ec] = std::from_chars(first, text.data() + text.size(), value, std::chars_format::general);
    if (ec == std::errc::result_out_of_range) {
        // from_chars leaves the value alone here: a negative exponent means it
        // underflowed toward zero, anything else is far beyond the range.
        const std::string_view number(first, static_cast<size_t>(end - first));
        const size_t e = number.find_first_of("eE");
        const bool tiny = e != std::string_view::npos && e + 1 < number.size() && number[e + 1] == '-';
        value = tiny ? 0.0 : std::numeric_limits<double>::infinity();
    } else if (ec != std::errc() || end == first) {
        return {};
    }
    if (negative) value = -value;
    if (!(value >= kLimitMin && value <= kLimitMax)) return {LimitStatus::kOutOfRange, value};
    return {LimitStatus::kOk, value};
}

namespace {

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

// Digits with at most one point among them, at least one digit.
bool IsPlainDecimal(std::string_view text, bool allowPoint) {
    bool digit = false, point = false;
    for (char c : text) {
        if (IsDigit(c)) {
            digit = true;
        } else if (c == '.' && allowPoint && !point) {
            point = true;
        } else {
            return false;
        }
    }
    return digit;
}

}  // namespace

std::optional<double> ReadPositiveText(std::string_view text, double max) {
    text = Trimmed(text.substr(0, kFieldChars));
    if (!IsPlainDecimal(text, true)) return std::nullopt;
    double value = 0.0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    if (!(value > 0.0 && value <= max)) return std::nullopt;
    return value;
}

std::optional<int> ReadWholeText(std::string_view text, int min, int max) {
    text = Trimmed(text.substr(0, kFieldChars));
    if (!IsPlainDecimal(text, false)) return std::nullopt;
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    if (value < min || value > max) return std::nullopt;
    return value;
}
