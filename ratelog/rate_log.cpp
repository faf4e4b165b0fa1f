#include "ratelog/rate_log.h"

#include <cstdio>

CLogState LogState;

std::string LogStampFormatFor(int dateIndex, int timeIndex, int delimiterIndex) {
    static const char* const kDelimiters[] = {" ", "\t", ","};
    static const char* const kDates[] = {"%x", "%Y/%m/%d", "%Y%m%d"};
    static const char* const kTimes[] = {"%X", "%H%M%S"};
    const std::string delimiter = delimiterIndex >= 0 && delimiterIndex < 3 ? kDelimiters[delimiterIndex] : "";
    std::string format;
    // The C locale is never changed, so %x is MM/DD/YY and %X is HH:MM:SS.
    if (dateIndex >= 0 && dateIndex < 3) format += kDates[dateIndex] + delimiter;
    if (timeIndex >= 0 && timeIndex < 2) format += kTimes[timeIndex] + delimiter;
    return format;
}

std::string LogFileName(const std::string& pair) {
    std::string name = pair;
    // Every code has three letters: the arrow sits at 3 and 4.
    if (name.size() >= 5) name.replace(3, 2, "_");
    return name + ".TXT";
}

std::string RateLogLine(const std::string& stampFormat, const std::tm& localTime, double rate) {
    std::string line;
    if (!stampFormat.empty()) {
        char stamp[128];
        const size_t n = std::strftime(stamp, sizeof stamp, stampFormat.c_str(), &localTime);
        line.assign(stamp, n);  // 0 when empty or too long for the buffer
    }
    // Sized first: a huge rate has hundreds of digits, and the line end must
    // never be cut off.
    const int n = std::snprintf(nullptr, 0, "%.4f\r\n", rate);
    if (n <= 0) return line + "\r\n";
    const size_t at = line.size();
    line.resize(at + static_cast<size_t>(n) + 1);
    std::snprintf(&line[at], static_cast<size_t>(n) + 1, "%.4f\r\n", rate);
    line.resize(at + static_cast<size_t>(n));
    return line;
}
