#include "transport/soap_value_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>

using namespace soap;

namespace {

bool Double(std::u16string_view t, double* v) { return ParseDouble(t, v); }

std::string Decode64(std::u16string_view t, bool* ok) {
    SoapBinary b{};
    *ok = ParseBase64Binary(t, &b);
    std::string s = *ok ? std::string(reinterpret_cast<char*>(b.pData), static_cast<size_t>(b.nLength)) : "";
    std::free(b.pData);
    return s;
}

}  // namespace

TEST(SoapValueReaders, DoublesAreReadWhole) {
    double v = 0;
    ASSERT_TRUE(Double(u"110.5", &v));
    EXPECT_EQ(v, 110.5);
    ASSERT_TRUE(Double(u" 1.5", &v));  // strtod skips leading white space
    EXPECT_EQ(v, 1.5);
    ASSERT_TRUE(Double(u"-2E3", &v));
    EXPECT_EQ(v, -2000);
    for (const char16_t* bad : {u"1.5 ", u"", u" ", u"1.5x", u"1e999", u"-1e999", u"1e-400",
                                u"inf", u"nan", u"0x10", u"infinity", u"+INF", u"1,5", u"\u0661"})
        EXPECT_FALSE(Double(bad, &v)) << std::u16string(bad).size();
    ASSERT_TRUE(Double(u"INF", &v));
    EXPECT_TRUE(std::isinf(v) && v > 0);
    ASSERT_TRUE(Double(u"-INF", &v));
    EXPECT_TRUE(std::isinf(v) && v < 0);
    ASSERT_TRUE(Double(u"NaN", &v));
    EXPECT_TRUE(std::isnan(v));
}

TEST(SoapValueReaders, IntegersAreRangeChecked) {
    int64_t v = 0;
    EXPECT_TRUE(ParseSigned(u"-2147483648", INT32_MIN, INT32_MAX, &v));
    EXPECT_EQ(v, INT32_MIN);
    EXPECT_FALSE(ParseSigned(u"2147483648", INT32_MIN, INT32_MAX, &v));
    EXPECT_FALSE(ParseSigned(u"32768", INT16_MIN, INT16_MAX, &v));
    EXPECT_TRUE(ParseSigned(u"-9223372036854775808", INT64_MIN, INT64_MAX, &v));
    EXPECT_EQ(v, INT64_MIN);
    EXPECT_FALSE(ParseSigned(u"9223372036854775808", INT64_MIN, INT64_MAX, &v));
    EXPECT_FALSE(ParseSigned(u"99999999999999999999", INT64_MIN, INT64_MAX, &v));
    for (const char16_t* bad : {u"", u"-", u"+-1", u"1 ", u"1.0", u"- 1"})
        EXPECT_FALSE(ParseSigned(bad, INT64_MIN, INT64_MAX, &v));
    uint64_t u = 0;
    EXPECT_TRUE(ParseUnsigned(u"18446744073709551615", UINT64_MAX, &u));
    EXPECT_EQ(u, UINT64_MAX);
    EXPECT_FALSE(ParseUnsigned(u"18446744073709551616", UINT64_MAX, &u));
    EXPECT_FALSE(ParseUnsigned(u"-1", UINT64_MAX, &u));
    EXPECT_FALSE(ParseUnsigned(u"256", 255, &u));
}

TEST(SoapValueReaders, BooleansHaveFourSpellings) {
    bool b = false;
    EXPECT_TRUE(ParseBoolean(u"true", &b) && b);
    EXPECT_TRUE(ParseBoolean(u"0", &b) && !b);
    EXPECT_TRUE(ParseBoolean(u"1", &b) && b);
    EXPECT_TRUE(ParseBoolean(u"false", &b) && !b);
    for (const char16_t* bad : {u"TRUE", u" true", u"yes", u"", u"01"}) EXPECT_FALSE(ParseBoolean(bad, &b));
}

TEST(SoapValueReaders, BinaryDecoding) {
    bool ok = false;
    EXPECT_EQ(Decode64(u"TWFu", &ok), "Man");
    EXPECT_TRUE(ok);
    EXPECT_EQ(Decode64(u"TWE=\r\n", &ok), "Ma");
    EXPECT_TRUE(ok);
    EXPECT_EQ(Decode64(u"TQ==", &ok), "M");
    EXPECT_TRUE(ok);
    for (const char16_t* bad : {u"TQ=", u"T", u"TQ==TQ==", u"T*==", u"TWFuTQ"}) {
        Decode64(bad, &ok);
        EXPECT_FALSE(ok) << std::u16string(bad).size();
    }
    SoapBinary b{};
    ASSERT_TRUE(ParseHexBinary(u"00aBfF", &b));
    ASSERT_EQ(b.nLength, 3);
    EXPECT_EQ(b.pData[1], 0xAB);
    std::free(b.pData);
    EXPECT_FALSE(ParseHexBinary(u"0", &b));
    EXPECT_FALSE(ParseHexBinary(u"0g", &b));
}
