#include "excel/currency_pair.h"

#include <gtest/gtest.h>

#include "rates/currency_tables.h"

namespace excel {
namespace {

TEST(LookupPair, FirstAndLastThreeCharactersNameTheCurrencies) {
    struct Case {
        const char* text;
        int from, to;  // -1: no pair
    };
    const Case cases[] = {
        {"USD/JPY", rates::kCurrency_USD, rates::kCurrency_JPY},
        {"USD-JPY", rates::kCurrency_USD, rates::kCurrency_JPY},
        {"USDJPY", rates::kCurrency_USD, rates::kCurrency_JPY},
        {"EUR to GBP", rates::kCurrency_EUR, rates::kCurrency_GBP},
        {"USD", rates::kCurrency_USD, rates::kCurrency_USD},
        {"usd/jpy", -1, -1},  // case-sensitive
        {"USD/jpy", -1, -1},
        {"XXX/JPY", -1, -1},
        {"US", -1, -1},  // shorter than a code
        {"", -1, -1},
    };
    for (const Case& c : cases) {
        const auto pair = LookupPair(c.text);
        if (c.from < 0) {
            EXPECT_FALSE(pair.has_value()) << c.text;
        } else {
            ASSERT_TRUE(pair.has_value()) << c.text;
            EXPECT_EQ(pair->from, c.from) << c.text;
            EXPECT_EQ(pair->to, c.to) << c.text;
        }
    }
}

}  // namespace
}  // namespace excel
