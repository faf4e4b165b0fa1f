#include <gtest/gtest.h>

#include "update/version.h"

using update::CompareVersions;

TEST(CompareVersions, Table) {
    struct Case {
        const char* offered;
        const char* running;
        int expected;
    };
    const Case cases[] = {
        {"2.0.0.2", "2.0.0.1", 1},
        {"3", "2.0.0.1", 1},           // missing numbers are 0: 3.0.0.0
        {"2.1", "2.0.9.9", 1},
        {"2.0.0.1", "2.0.0.1", 0},
        {"2", "2.0.0.0", 0},
        {"2.0.0.0", "2.0.0.1", -1},
        {"1.99", "2.0.0.1", -1},
        {"10.0", "9.0", 1},            // numbers, not texts
        {"2..0.2", "2.0.0.1", 1},      // an empty piece is skipped: 2.0.2.0
        {"", "2.0.0.1", -1},           // nothing offered reads as 0.0.0.0
        {"2.0.0.2\n", "2.0.0.1", -21},  // a line end is not a digit
        {"2.0.0.2\r\n", "2.0.0.1", -21},
        {"2.0.0.2.1", "2.0.0.1", -21},  // a fifth number
        {"2.0a", "2.0.0.1", -21},
        {" 2", "2.0.0.1", -21},
        {"-2", "2.0.0.1", -21},
        {"65536", "2.0.0.1", -21},      // above a version resource's 16 bits
        {"99999999999999999999", "2.0.0.1", -21},
        {"65535.65535.65535.65535", "2.0.0.1", 1},
        {"2.0.0.2", "x", -22},
        {"2.0.0.2", "1.2.3.4.5", -22},
        {"2.0.0.2\n", "x", -21},        // the offered text is judged first
    };
    for (const Case& c : cases)
        EXPECT_EQ(CompareVersions(c.offered, c.running), c.expected) << '"' << c.offered << "\" vs " << c.running;
}

TEST(VersionText, AllFourNumbers) {
    EXPECT_EQ(update::VersionText(*update::ParseVersion("3")), "3.0.0.0");
    EXPECT_EQ(update::VersionText(*update::ParseVersion("2.0.0.12")), "2.0.0.12");
}
