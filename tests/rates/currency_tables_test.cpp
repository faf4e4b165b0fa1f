#include "rates/currency_tables.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

using namespace rates;

TEST(CurrencyTables, HoldOneHundredFiftyOneAlignedEntries) {
    ASSERT_EQ(kCurrencyList.size(), 151u);
    int enumCount = 0;
    for (const soap::SoapEnumEntry* e = CurrencyEnum.pEntries; e->nHash != 0; ++e) {
        ASSERT_LT(enumCount, 151);
        const std::string entry = kCurrencyList[enumCount];
        // The code is the text before the hyphen, in all three forms.
        ASSERT_EQ(entry.substr(0, 4), std::string(e->szName) + "-") << enumCount;
        EXPECT_EQ(std::string(CurrencyCodes[enumCount]), e->szName);
        EXPECT_EQ(e->cchName, 3);
        EXPECT_EQ(e->nValue, enumCount);
        EXPECT_EQ(std::u16string(e->wszName), std::u16string(entry.begin(), entry.begin() + 3));
        EXPECT_EQ(e->nHash, soap::NameHash(e->wszName));
        ++enumCount;
    }
    EXPECT_EQ(enumCount, 151);
    EXPECT_EQ(CurrencyEnum.cEntries, enumCount);
    EXPECT_EQ(CurrencyEnum.nKind, soap::kKindEnum);
    EXPECT_STREQ(CurrencyEnum.szName, "Currency");
}

TEST(CurrencyTables, CodesAreUnique) {
    std::set<std::string> codes(CurrencyCodes.begin(), CurrencyCodes.end());
    EXPECT_EQ(codes.size(), 151u);
    EXPECT_EQ(FindCurrencyCode("USD"), 138);
    EXPECT_EQ(FindCurrencyCode("TRY"), 150);
    EXPECT_EQ(FindCurrencyCode("usd"), -1);
    EXPECT_EQ(FindCurrencyCode("US"), -1);
}

TEST(CurrencyTables, CodeOfAnIndexOutsideTheListIsTheCallersText) {
    const struct {
        int index;
        const char* code;
    } cases[] = {{-1, "?"}, {0, "AFA"}, {150, "TRY"}, {151, "?"}};
    for (const auto& c : cases) EXPECT_STREQ(CurrencyCode(c.index, "?"), c.code) << c.index;
}

TEST(CurrencyTables, NameHashIsTimesThirtyThreePlusCodeUnit) {
    EXPECT_EQ(soap::NameHash(u"AFA"), 73160u);
    EXPECT_EQ(CurrencyEnum.pEntries[0].nHash, 73160u);
    EXPECT_EQ(soap::NameHash(u""), 0u);
    // Wraps modulo 2^32 rather than saturating.
    EXPECT_EQ(soap::NameHash(u"ConversionRateResponse"), [] {
        uint32_t h = 0;
        for (char c : std::string("ConversionRateResponse")) h = h * 33u + static_cast<unsigned char>(c);
        return h;
    }());
}

TEST(CurrencyTables, DefaultPairAndNotedEntries) {
    EXPECT_EQ(kDefaultCurrency1, 138);
    EXPECT_EQ(kDefaultCurrency2, 61);
    EXPECT_STREQ(kCurrencyList[138], "USD-U.S. Dollar");
    EXPECT_STREQ(kCurrencyList[61], "JPY-Japanese Yen");
    EXPECT_STREQ(kCurrencyList[0], "AFA-Afghanistan Afghani");
    EXPECT_STREQ(kCurrencyList[149], "ZWD-Zimbabwe Dollar");
    EXPECT_STREQ(kCurrencyList[150], "TRY-New Turkish Lira");
    EXPECT_STREQ(kCurrencyList[134], "TOP-Tonga Pa'anga");
    EXPECT_STREQ(CountryNames[138], "usa");
    EXPECT_STREQ(CountryNames[61], "japan");
    EXPECT_STREQ(CountryNames[13], "bolivian");
    EXPECT_STREQ(CountryNames[16], "england");
    EXPECT_STREQ(CountryNames[76], "malaga");
    EXPECT_STREQ(CountryNames[77], "malawi kwacha");
    EXPECT_STREQ(CountryNames[92], "new Zealand");
    EXPECT_STREQ(CountryNames[135], "trinidad");
    EXPECT_STREQ(CountryNames[147], "yugoslavua");
    EXPECT_STREQ(CountryNames[137], "turkey");
    EXPECT_STREQ(CountryNames[150], "turkey");
    EXPECT_STREQ(CurrencyCodes[137], "TRL");
    EXPECT_STREQ(CurrencyCodes[150], "TRY");
    EXPECT_STREQ(CurrencyCodes[6], "BSD");
}

TEST(CurrencyTables, ExactlyTheTenNotedCountryNamesAreEmpty) {
    const std::set<int> expected = {6, 19, 20, 47, 91, 98, 100, 106, 116, 142};
    std::set<int> empty;
    for (int i = 0; i < kCurrencyCount; ++i) {
        ASSERT_NE(CountryNames[i], nullptr);
        if (CountryNames[i][0] == '\0') empty.insert(i);
    }
    EXPECT_EQ(empty, expected);
}
