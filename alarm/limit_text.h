// Reading a limit field's text into a limit.
#pragma once

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
