#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>

#include "rates/rate_query.h"

using rates::RateText;
using rates::ResultCodeText;

TEST(RateText, FourDecimalsNoGrouping) {
    EXPECT_EQ(RateText(117.25), "117.2500");
    EXPECT_EQ(RateText(0.0091), "0.0091");
    EXPECT_EQ(RateText(static_cast<double>(0.0091f)), "0.0091");
    EXPECT_EQ(RateText(110.5), "110.5000");
    EXPECT_EQ(RateText(0.0), "0.0000");
    EXPECT_EQ(RateText(1234567.891), "1234567.8910");
    EXPECT_EQ(RateText(1e15), "1000000000000000.0000");
    // Rounded, not truncated.
    EXPECT_EQ(RateText(1.00005), "1.0001");
    EXPECT_EQ(RateText(2.99996), "3.0000");
}

TEST(RateText, LargestAndOddValuesStillFormat) {
    const std::string huge = RateText(std::numeric_limits<double>::max());
    EXPECT_EQ(huge.size(), 309u + 5u);
    EXPECT_EQ(huge.substr(huge.size() - 5), ".0000");
    EXPECT_EQ(RateText(-0.5), "-0.5000");
    EXPECT_EQ(RateText(std::numeric_limits<double>::infinity()), "inf");
}

TEST(RateText, IgnoresTheCLocale) {
    const char* old = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = old ? old : "C";
    bool commaLocale = false;
    for (const char* name : {"de_DE.UTF-8", "de_DE", "German_Germany.1252", "fr_FR.UTF-8"}) {
        if (std::setlocale(LC_NUMERIC, name) && std::localeconv()->decimal_point[0] == ',') {
            commaLocale = true;
            break;
        }
    }
    if (!commaLocale) {
        std::setlocale(LC_NUMERIC, saved.c_str());
        GTEST_SKIP() << "no locale with a decimal comma here";
    }
    const std::string text = RateText(117.25);
    std::setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_EQ(text, "117.2500");
}

TEST(ResultCodeText, EveryCodeHasItsText) {
    EXPECT_STREQ(ResultCodeText(SOAPCLIENT_SUCCESS), "SOAPCLIENT_SUCCESS");
    EXPECT_STREQ(ResultCodeText(SOAPCLIENT_INITIALIZE_ERROR), "SOAPCLIENT_INITIALIZE_ERROR");
    EXPECT_STREQ(ResultCodeText(SOAPCLIENT_OUTOFMEMORY), "SOAPCLIENT_OUTOFMEMORY");
    EXPECT_STREQ(ResultCodeText(SOAPCLIENT_GENERATE_ERROR), "SOAPCLIENT_GENERATE_ERROR");
    EXPECT_STREQ(ResultCodeText(SOAPCLIENT_CONNECT_ERROR), "SOAPCLIENT_CONNECT_ERROR");
    EXPECT_STREQ(ResultCodeText(SOAPCLIENT_SEND_ERROR), "SOAPCLIENT_SEND_ERROR");
    EXPECT_STREQ(ResultCodeText(SOAPCLIENT_SERVER_ERROR), "SOAPCLIENT_SERVER_ERROR ");
    EXPECT_STREQ(ResultCodeText(SOAPCLIENT_FAULT), "登録されていない国名です");
    EXPECT_STREQ(ResultCodeText(SOAPCLIENT_PARSEFAULT_ERROR), "SOAPCLIENT_PARSEFAULT_ERROR");
    EXPECT_STREQ(ResultCodeText(SOAPCLIENT_READ_ERROR), "SOAPCLIENT_READ_ERROR");
    EXPECT_STREQ(ResultCodeText(SOAPCLIENT_PARSE_ERROR), "SOAPCLIENT_PARSE_ERROR");
    EXPECT_STREQ(ResultCodeText(SOAPCLIENT_FOREIGN_SERVICE),
                 "ローカルのレートサービスがこのユーザーのものと確認できないため、問い合わせませんでした");
    EXPECT_STREQ(ResultCodeText(12), "");
    EXPECT_STREQ(ResultCodeText(-1), "");
}
