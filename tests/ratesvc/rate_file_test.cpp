#include "rate_file.h"
#include "rate_book.h"
#include "rate_lookup.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

using namespace ratesvc;

namespace {

std::string RatesXml(const std::string& cubes, const std::string& time = "2024-03-01") {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<gesmes:Envelope xmlns:gesmes=\"http://www.gesmes.org/xml/2002-08-01\" "
           "xmlns=\"http://www.ecb.int/vocabulary/2002-08-01/eurofxref\">\n"
           "<gesmes:subject>Reference rates</gesmes:subject>\n"
           "<gesmes:Sender><gesmes:name>European Central Bank</gesmes:name></gesmes:Sender>\n"
           "<Cube><Cube time='" + time + "'>" + cubes + "</Cube></Cube></gesmes:Envelope>\n";
}

std::string Rate(const char* code, const char* rate) {
    return std::string("<Cube currency='") + code + "' rate='" + rate + "'/>";
}

CRateTable Parsed(const std::string& xml) {
    CRateTable t;
    std::string error;
    EXPECT_TRUE(ParseRateFile(xml, t, error)) << error;
    return t;
}

}  // namespace

TEST(RatesvcRateFile, ReadsTheDailyFile) {
    const CRateTable t = Parsed(RatesXml(Rate("USD", "1.0842") + Rate("JPY", "161.23") + Rate("TRY", "34.5")));
    EXPECT_EQ(t.m_strDate, "2024-03-01");
    EXPECT_EQ(t.m_perEuro.size(), 3u);
    EXPECT_DOUBLE_EQ(*t.PerEuro("USD"), 1.0842);
    EXPECT_DOUBLE_EQ(*t.PerEuro("EUR"), 1.0);
    EXPECT_FALSE(t.PerEuro("GBP"));
}

TEST(RatesvcRateFile, TakesTheNewestDayOfAHistoryFile) {
    const std::string xml =
        "<gesmes:Envelope xmlns:gesmes='http://www.gesmes.org/xml/2002-08-01' "
        "xmlns='http://www.ecb.int/vocabulary/2002-08-01/eurofxref'><Cube>"
        "<Cube time='2024-03-02'><Cube currency='USD' rate='1.1'/></Cube>"
        "<Cube time='2024-03-01'><Cube currency='USD' rate='1.2'/><Cube currency='JPY' rate='160'/></Cube>"
        "</Cube></gesmes:Envelope>";
    const CRateTable t = Parsed(xml);
    EXPECT_EQ(t.m_strDate, "2024-03-02");
    EXPECT_DOUBLE_EQ(*t.PerEuro("USD"), 1.1);
    EXPECT_FALSE(t.PerEuro("JPY"));
}

TEST(RatesvcRateFile, CrossRatesGoThroughTheEuro) {
    const CRateTable t = Parsed(RatesXml(Rate("USD", "1.25") + Rate("JPY", "150")));
    EXPECT_DOUBLE_EQ(*t.CrossRate("USD", "JPY"), 120.0);
    EXPECT_DOUBLE_EQ(*t.CrossRate("JPY", "USD"), 1.0 / 120.0);
    EXPECT_DOUBLE_EQ(*t.CrossRate("EUR", "USD"), 1.25);
    EXPECT_DOUBLE_EQ(*t.CrossRate("USD", "EUR"), 0.8);
    EXPECT_EQ(*t.CrossRate("JPY", "JPY"), 1.0);
    EXPECT_FALSE(t.CrossRate("USD", "GBP"));
    EXPECT_FALSE(t.CrossRate("GBP", "USD"));
}

TEST(RatesvcRateFile, RejectsWhatIsNotAReferenceFile) {
    const std::string good = RatesXml(Rate("USD", "1.1"));
    const struct {
        const char* what;
        std::string xml;
    } cases[] = {
        {"empty", ""},
        {"truncated", good.substr(0, good.size() / 2)},
        {"not XML", "USD 1.1\nJPY 160\n"},
        {"root not gesmes:Envelope", "<Envelope><Cube><Cube time='2024-03-01'>" + Rate("USD", "1.1") + "</Cube></Cube></Envelope>"},
        {"no dated Cube", "<gesmes:Envelope xmlns:gesmes='http://www.gesmes.org/xml/2002-08-01'><Cube/></gesmes:Envelope>"},
        {"no rates", RatesXml("")},
        {"rate outside a day", "<gesmes:Envelope xmlns:gesmes='http://www.gesmes.org/xml/2002-08-01'><Cube>" + Rate("USD", "1.1") + "</Cube></gesmes:Envelope>"},
        {"rate not a number", RatesXml(Rate("USD", "abc"))},
        {"decimal comma", RatesXml(Rate("USD", "1,1"))},
        {"trailing blank", RatesXml(Rate("USD", "1.1 "))},
        {"empty rate", RatesXml(Rate("USD", ""))},
        {"negative", RatesXml(Rate("USD", "-1.1"))},
        {"zero", RatesXml(Rate("USD", "0"))},
        {"infinite", RatesXml(Rate("USD", "1e999"))},
        {"lower-case code", RatesXml(Rate("usd", "1.1"))},
        {"four-letter code", RatesXml(Rate("USDX", "1.1"))},
        {"rate of the euro", RatesXml(Rate("EUR", "1"))},
        {"twice", RatesXml(Rate("USD", "1.1") + Rate("USD", "1.2"))},
        {"currency without rate", RatesXml("<Cube currency='USD'/>")},
        // Text that would reach the log, and numbers no answer could carry.
        {"line break in the date", RatesXml(Rate("USD", "1.1"), "2024-03-01&#10;zelvane-ratesvc: forged")},
        {"no such month", RatesXml(Rate("USD", "1.1"), "2024-13-01")},
        {"no such day", RatesXml(Rate("USD", "1.1"), "2023-02-29")},
        {"date in another form", RatesXml(Rate("USD", "1.1"), "01/03/2024")},
        {"tiny", RatesXml(Rate("USD", "1e-300"))},
        {"huge", RatesXml(Rate("JPY", "1e300"))},
        {"denormal", RatesXml(Rate("USD", "4.9e-324"))},
    };
    for (const auto& c : cases) {
        CRateTable t;
        t.m_strDate = "untouched";
        std::string error;
        EXPECT_FALSE(ParseRateFile(c.xml, t, error)) << c.what;
        EXPECT_FALSE(error.empty()) << c.what;
        EXPECT_EQ(t.m_strDate, "untouched") << c.what;
    }
}

TEST(RatesvcRateFile, ShippedSampleGivesASensibleDollarYenRate) {
    std::ifstream in(ZELVANE_RATESVC_SAMPLE);
    std::stringstream text;
    text << in.rdbuf();
    const std::string xml = text.str();
    EXPECT_NE(xml.find("SAMPLE DATA"), std::string::npos);
    const CRateTable t = Parsed(xml);
    ASSERT_TRUE(t.CrossRate("USD", "JPY"));
    EXPECT_GT(*t.CrossRate("USD", "JPY"), 80.0);
    EXPECT_LT(*t.CrossRate("USD", "JPY"), 250.0);
}

class RatesvcWatchedFile : public testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/zelvane-ratesvc-test-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        m_dir = tmpl;
        m_path = m_dir + "/rates.xml";
    }
    void TearDown() override {
        std::remove(m_path.c_str());
        std::remove((m_path + ".new").c_str());
        rmdir(m_dir.c_str());
    }
    // Replaced whole, as a download would put it in place.
    void Publish(const std::string& text) {
        std::ofstream(m_path + ".new", std::ios::binary) << text;
        ASSERT_EQ(std::rename((m_path + ".new").c_str(), m_path.c_str()), 0);
    }
    std::string m_dir, m_path;
};

TEST_F(RatesvcWatchedFile, ReloadsWhenTheFileChanges) {
    Publish(RatesXml(Rate("JPY", "160")));
    CRateFile file(m_path);
    ASSERT_TRUE(file.Current());
    EXPECT_DOUBLE_EQ(*file.Current()->PerEuro("JPY"), 160.0);

    Publish(RatesXml(Rate("JPY", "170"), "2024-03-04"));
    ASSERT_TRUE(file.Current());
    EXPECT_DOUBLE_EQ(*file.Current()->PerEuro("JPY"), 170.0);
    EXPECT_EQ(file.Current()->m_strDate, "2024-03-04");

    // Rewritten in place (a different length, so even a coarse clock shows it).
    std::ofstream(m_path, std::ios::binary | std::ios::trunc) << RatesXml(Rate("JPY", "180.5"), "2024-03-04");
    EXPECT_DOUBLE_EQ(*file.Current()->PerEuro("JPY"), 180.5);
    EXPECT_TRUE(file.LastError().empty());
}

TEST_F(RatesvcWatchedFile, KeepsTheLastGoodRatesThroughABadFileAndAGoneOne) {
    Publish(RatesXml(Rate("JPY", "160")));
    CRateFile file(m_path);
    const auto good = file.Current();
    ASSERT_TRUE(good);

    Publish(RatesXml(Rate("JPY", "160")).substr(0, 150));
    EXPECT_EQ(file.Current(), good);
    EXPECT_NE(file.LastError().find(m_path), std::string::npos);

    std::remove(m_path.c_str());
    EXPECT_EQ(file.Current(), good);
    EXPECT_FALSE(file.LastError().empty());

    Publish(RatesXml(Rate("JPY", "165")));
    EXPECT_DOUBLE_EQ(*file.Current()->PerEuro("JPY"), 165.0);
    EXPECT_TRUE(file.LastError().empty());
}

TEST_F(RatesvcWatchedFile, KeepsTheRatesInForceAgainstAnOlderOrThinnerFile) {
    const char* codes[] = {"USD", "JPY", "GBP", "CHF", "NZD", "TRY", "SEK", "NOK", "PLN", "CZK"};
    auto withCodes = [&](size_t from, size_t to, const std::string& date) {
        std::string cubes;
        for (size_t i = from; i < to; ++i) cubes += Rate(codes[i], "2");
        return RatesXml(cubes, date);
    };
    std::string logged;
    CRateFile file(m_path, [&](const std::string& line) { logged += line + "\n"; });
    Publish(withCodes(0, 10, "2024-03-04"));
    ASSERT_TRUE(file.Current());
    const struct {
        const char* what;
        std::string xml;
        const char* why;
    } refused[] = {
        {"older", withCodes(0, 10, "2024-03-01"), "before the rates in force"},
        {"without USD", withCodes(1, 10, "2024-03-05"), "no rate for USD"},
        {"without JPY", RatesXml(Rate("USD", "2") + Rate("GBP", "2") + Rate("CHF", "2") + Rate("NZD", "2") + Rate("TRY", "2") + Rate("SEK", "2"), "2024-03-05"), "no rate for JPY"},
        {"under half", withCodes(0, 4, "2024-03-05"), "only 4 of the 10"},
    };
    for (const auto& r : refused) {
        logged.clear();
        Publish(r.xml);
        ASSERT_TRUE(file.Current()) << r.what;
        EXPECT_EQ(file.Current()->m_strDate, "2024-03-04") << r.what;
        EXPECT_EQ(file.Current()->m_perEuro.size(), 10u) << r.what;
        EXPECT_NE(logged.find(r.why), std::string::npos) << r.what << ": " << logged;
        EXPECT_NE(logged.find("keeping the rates of 2024-03-04"), std::string::npos) << r.what << ": " << logged;
    }
    // Half of them, majors included, on the same day: a correction is taken.
    Publish(withCodes(0, 5, "2024-03-04"));
    EXPECT_EQ(file.Current()->m_perEuro.size(), 5u) << logged;
}

TEST_F(RatesvcWatchedFile, HasNoTableUntilAGoodFileAppears) {
    std::string logged;
    CRateFile file(m_path, [&](const std::string& line) { logged += line + "\n"; });
    EXPECT_FALSE(file.Current());
    Publish("not rates");
    EXPECT_FALSE(file.Current());
    Publish(RatesXml(Rate("USD", "1.1")));
    ASSERT_TRUE(file.Current());
    EXPECT_NE(logged.find("1 rates of 2024-03-01"), std::string::npos) << logged;
}

TEST(RatesvcLookup, CountryNamesAsTheProgramSendsThem) {
    EXPECT_STREQ(CodeForCountry("usa"), "USD");
    EXPECT_STREQ(CodeForCountry("japan"), "JPY");
    EXPECT_STREQ(CodeForCountry("new Zealand"), "NZD");
    EXPECT_STREQ(CodeForCountry("malawi kwacha"), "MWK");
    EXPECT_STREQ(CodeForCountry("euro"), "EUR");
    EXPECT_STREQ(CodeForCountry("turkey"), "TRY");  // not TRL, the older entry
    EXPECT_EQ(CodeForCountry("New Zealand"), nullptr);
    EXPECT_EQ(CodeForCountry(""), nullptr);
    EXPECT_EQ(CodeForCountry("atlantis"), nullptr);
}

// The answers of a book that holds only the bank's table `t`.
CRateAnswer ForCodes(const CRateTable& t, std::string_view from, std::string_view to) {
    CRateBook book;
    book.TakeBankTable(std::make_shared<CRateTable>(t), 0);
    return RateForCodes(book, from, to, 0);
}
CRateAnswer ForCountries(const CRateTable& t, std::string_view country1, std::string_view country2) {
    CRateBook book;
    book.TakeBankTable(std::make_shared<CRateTable>(t), 0);
    return RateForCountries(book, country1, country2, 0);
}

TEST(RatesvcLookup, SaysWhoseFaultAMissingRateIs) {
    const CRateTable t = Parsed(RatesXml(Rate("USD", "2") + Rate("JPY", "234.5") + Rate("TRY", "40")));
    EXPECT_EQ(RateForCodes(CRateBook(), "USD", "JPY", 0).kind, FaultKind::kServer);

    const CRateAnswer ok = ForCodes(t, "USD", "JPY");
    EXPECT_EQ(ok.kind, FaultKind::kNone);
    EXPECT_EQ(ok.dRate, 117.25);

    const CRateAnswer unknown = ForCodes(t, "USD", "XYZ");
    EXPECT_EQ(unknown.kind, FaultKind::kClient);
    EXPECT_NE(unknown.strReason.find("XYZ"), std::string::npos);
    const CRateAnswer noRate = ForCodes(t, "GBP", "USD");  // listed, but not in this file
    EXPECT_EQ(noRate.kind, FaultKind::kServer);
    EXPECT_NE(noRate.strReason.find("GBP"), std::string::npos);

    EXPECT_EQ(ForCountries(t, "turkey", "usa").dRate, 0.05);
    EXPECT_EQ(ForCountries(t, "usa", "").kind, FaultKind::kClient);
    EXPECT_EQ(ForCountries(t, "atlantis", "usa").kind, FaultKind::kClient);
    EXPECT_EQ(ForCountries(t, "usa", "england").kind, FaultKind::kServer);
}

TEST(RatesvcLookup, NeverAnswersWithAnUnusableRate) {
    // A table not read from a file, so no loader bound protects it.
    CRateTable t;
    t.m_strDate = "2024-03-01";
    t.m_perEuro = {{"USD", 1e-300}, {"JPY", 1e300}, {"GBP", 1e-20}, {"CHF", 1e20}, {"NZD", 1.6}};
    const std::pair<const char*, const char*> pairs[] = {{"USD", "JPY"}, {"JPY", "USD"}, {"GBP", "CHF"}, {"CHF", "GBP"}};
    for (const auto& [from, to] : pairs) EXPECT_EQ(ForCodes(t, from, to).kind, FaultKind::kServer) << from << to;
    EXPECT_EQ(ForCodes(t, "NZD", "EUR").kind, FaultKind::kNone);
}

TEST(RatesvcLookup, FaultsQuoteOnlyAShortPrintablePieceOfTheRequest) {
    const CRateTable t = Parsed(RatesXml(Rate("USD", "2")));
    const std::string hostile[] = {std::string(100000, 'A'), "X\r\nzelvane-ratesvc: forged", std::string("\x1b[2J\0", 5)};
    for (const std::string& text : hostile) {
        for (const CRateAnswer& a : {ForCodes(t, "USD", text), ForCountries(t, text, "usa")}) {
            EXPECT_EQ(a.kind, FaultKind::kClient);
            EXPECT_LT(a.strReason.size(), 80u) << a.strReason;
            for (char c : a.strReason) EXPECT_TRUE(c >= 0x20 && c < 0x7F) << a.strReason;
        }
    }
}
