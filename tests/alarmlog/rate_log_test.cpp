#include <gtest/gtest.h>

#include <string>

#include "ratelog/rate_log.h"

namespace {

// 1 May 2006, 13:45:10, a Monday.
std::tm FixedClock() {
    std::tm t = {};
    t.tm_year = 2006 - 1900;
    t.tm_mon = 4;
    t.tm_mday = 1;
    t.tm_hour = 13;
    t.tm_min = 45;
    t.tm_sec = 10;
    t.tm_wday = 1;
    t.tm_yday = 120;
    return t;
}

TEST(RateLogLine, EveryStampFormIsByteExact) {
    const char* const dates[] = {"05/01/06", "2006/05/01", "20060501", ""};
    const char* const times[] = {"13:45:10", "134510", ""};
    const char* const delimiters[] = {" ", "\t", ","};
    for (int d = 0; d < 4; ++d) {
        for (int t = 0; t < 3; ++t) {
            for (int s = 0; s < 3; ++s) {
                std::string expected;
                if (*dates[d]) expected += std::string(dates[d]) + delimiters[s];
                if (*times[t]) expected += std::string(times[t]) + delimiters[s];
                expected += "112.3456\r\n";
                EXPECT_EQ(RateLogLine(LogStampFormatFor(d, t, s), FixedClock(), 112.3456), expected)
                    << "date " << d << " time " << t << " delimiter " << s;
            }
        }
    }
}

TEST(RateLogLine, IndicesOutsideTheirGroupsAddNothing) {
    EXPECT_EQ(LogStampFormatFor(-1, -1, -1), "");
    EXPECT_EQ(LogStampFormatFor(1, 7, -1), "%Y/%m/%d");
    EXPECT_EQ(RateLogLine(LogStampFormatFor(4, 0, 9), FixedClock(), 0.5), "13:45:100.5000\r\n");
}

TEST(RateLogLine, RateIsRoundedToFourDecimalsAndTheLineAlwaysEnds) {
    EXPECT_EQ(RateLogLine("", FixedClock(), 118.25), "118.2500\r\n");
    EXPECT_EQ(RateLogLine("", FixedClock(), 0.000049), "0.0000\r\n");
    const std::string huge = RateLogLine("", FixedClock(), 1e300);
    EXPECT_EQ(huge.size(), 301u + 5u + 2u);
    EXPECT_EQ(huge.substr(huge.size() - 7), ".0000\r\n");
}

TEST(RateLogLine, StampTooLongForItsBufferIsLeftOut) {
    const std::string fits(127, 'a');
    EXPECT_EQ(RateLogLine(fits, FixedClock(), 1), fits + "1.0000\r\n");
    EXPECT_EQ(RateLogLine(fits + "a", FixedClock(), 1), "1.0000\r\n");
}

TEST(LogFileName, OneFilePerPairAndDirection) {
    EXPECT_EQ(LogFileName("USD->JPY "), "USD_JPY .TXT");
    EXPECT_EQ(LogFileName("JPY->USD "), "JPY_USD .TXT");
}

}  // namespace
