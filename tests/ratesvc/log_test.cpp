// The service's log file: never more than its limit in each of its two
// files, whatever is written, and never a line that text from the network
// could have forged.
#include "ratesvc_log.h"

#include <gtest/gtest.h>
#include <cstdlib>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& p) {
    std::ostringstream text;
    text << std::ifstream(p, std::ios::binary).rdbuf();
    return text.str();
}

class RatesvcLog : public testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() /
                ("zelvane-ratesvc-log-" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(m_dir);
        m_log = (m_dir / "sub" / "ratesvc.log").string();  // the folder is made on first use
    }
    void TearDown() override { fs::remove_all(m_dir); }
    fs::path m_dir;
    std::string m_log;
};

TEST_F(RatesvcLog, StaysWithinItsLimitAndKeepsTheNewestLines) {
    struct Case {
        size_t limit, lineLength;
        int lines;
    } const cases[] = {
        {1000, 30, 10},       // no rotation
        {1000, 30, 100},      // several rotations
        {1000, 999, 5},       // each line fills a file
        {1000, 50000, 3},     // lines longer than the limit are cut
        {256 * 1024, 120, 5000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.limit) + "/" + std::to_string(c.lineLength) + "/" + std::to_string(c.lines));
        fs::remove_all(m_dir);
        {
            ratesvc::CRotatingLog log(m_log, c.limit);
            for (int i = 0; i < c.lines; ++i) {
                std::string line = "#" + std::to_string(i) + " ";
                line.resize(c.lineLength, 'x');
                log.Write(line);
            }
        }
        EXPECT_LE(fs::file_size(m_log), c.limit);
        if (fs::exists(m_log + ".1")) {
            EXPECT_LE(fs::file_size(m_log + ".1"), c.limit);
        }
        const std::string text = ReadAll(m_log);
        EXPECT_NE(text.find("#" + std::to_string(c.lines - 1) + " "), std::string::npos) << "the newest line is lost";
        EXPECT_EQ(text.back(), '\n');
        // Nothing beyond the two files.
        EXPECT_EQ(std::distance(fs::directory_iterator(m_dir / "sub"), fs::directory_iterator()),
                  fs::exists(m_log + ".1") ? 2 : 1);
    }
}

TEST_F(RatesvcLog, TextFromTheNetworkCannotForgeALine) {
    {
        ratesvc::CRotatingLog log(m_log, 1000);
        log.Write("ConversionRate USD\r\n2026-01-01 00:00:00 fetched\x1b[2J JPY");
    }
    EXPECT_EQ(ReadAll(m_log), "ConversionRate USD??2026-01-01 00:00:00 fetched?[2J JPY\n");
}

#ifndef _WIN32
// A log that can be neither renamed nor removed (on Windows, while a viewer
// holds it open without delete sharing; here, an append-only file) stops at
// its bound and says so once, instead of growing without end.
TEST_F(RatesvcLog, StopsAtItsLimitWhenItCannotRotate) {
    constexpr size_t kLimit = 4096;
    {
        ratesvc::CRotatingLog log(m_log, kLimit);
        log.Write("first");
        if (std::system(("chattr +a '" + m_log + "' 2>/dev/null").c_str()) != 0)
            GTEST_SKIP() << "no append-only files here (needs root on ext4)";
        for (int i = 0; i < 2000; ++i) log.Write("line " + std::to_string(i) + std::string(60, 'x'));
    }
    const int undone = std::system(("chattr -a '" + m_log + "'").c_str());
    EXPECT_EQ(undone, 0);
    EXPECT_LE(fs::file_size(m_log), kLimit);
    EXPECT_FALSE(fs::exists(m_log + ".1"));
    const std::string text = ReadAll(m_log);
    const size_t full = text.find("log full and cannot be rotated");
    EXPECT_NE(full, std::string::npos);
    EXPECT_EQ(text.find("log full", full + 1), std::string::npos) << "said once";
}
#endif

}  // namespace
