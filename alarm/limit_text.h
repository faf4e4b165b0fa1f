// Reading a limit field's text into a limit.
#pragma once

#include <optional>
#include <string_view>

enum class LimitStatus { kOk, kNotANumber, kOutOfRange };

struct LimitReading {
    LimitStatus status = LimitStatus::kNotANumber;
    double value = 0.0;  // meaningful when status is kOk
};

constexpr double kLimitMin = 0.0;
constexpr double kLimitMax = 10000.0;

// The text's first 399 characters scanned from the start as a decimal number
// (leading blanks skipped, anything after the number ignored, so "115.5abc"
// reads as 115.5), then checked against 0..10000 inclusive.
LimitReading ReadLimitText(std::string_view text);

// The settings beside the limits (a margin, a percent, minutes, a step)
// are stricter: the field holds one plain decimal and nothing else but
// blanks around it. Above 0 and at most max.
std::optional<double> ReadPositiveText(std::string_view text, double max);
// A whole number from min to max.
std::optional<int> ReadWholeText(std::string_view text, int min, int max);
