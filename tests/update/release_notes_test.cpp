#include <gtest/gtest.h>

#include <string>

#include "update/release_notes.h"

TEST(ReleaseNotes, OnlySmallTextIsReleaseNotes) {
    using update::kReleaseNotesMax;
    struct Case {
        std::string text;
        bool accepted;
    };
    const Case cases[] = {
        {"Zelvane 2.0.0.2\r\n\tnotes\n", true},
        {"", true},
        {"\x8D\x58\x90\x56 \xE6\x9B\xB4\xE6\x96\xB0", true},  // Shift_JIS and UTF-8 Japanese
        {std::string(kReleaseNotesMax, 'a'), true},
        {std::string(kReleaseNotesMax + 1, 'a'), false},
        {std::string("MZ\x90\0\x03", 5), false},  // an executable's start
        {"red \x1b[31m text", false},              // terminal escapes
        {"form\ffeed", false},
        {"del\x7f", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(update::IsReleaseNotesText(reinterpret_cast<const unsigned char*>(c.text.data()), c.text.size()),
                  c.accepted)
            << c.text.substr(0, 20);
}
