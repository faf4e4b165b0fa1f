#include "transport/soap_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "rates/currency_tables.h"
#include "tests/soap/fixture_operations.h"
#include "transport/soap_string.h"
#include "transport/soap_value_text.h"
#include "transport/xml_escape.h"

using namespace soap;

namespace {

const std::string kEnvelopeStart =
    "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\" "
    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
    "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
    "xmlns:soapenc=\"http://schemas.xmlsoap.org/soap/encoding/\">";

struct OwnedString {
    explicit OwnedString(std::u16string_view t) : p(AllocSoapString(t)) {}
    ~OwnedString() { FreeSoapString(p); }
    char16_t* p;
};

std::string Generate(const SoapOperationInfo& op, const void* block, Status* status = nullptr) {
    std::string text;
    CStringOutputStream out(text);
    Status s = GenerateRequest(&op, block, out);
    if (status) *status = s;
    else EXPECT_EQ(s, kStatusOk);
    return text;
}

std::string GetRateEnvelope(std::u16string_view c1, std::u16string_view c2) {
    OwnedString a(c1), b(c2);
    fixtures::GetRateBlock block{a.p, b.p, 0};
    return Generate(fixtures::kGetRate, &block);
}

std::string GetRateBody(const std::string& params) {
    return kEnvelopeStart +
           "<soap:Body soap:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\">"
           "<snp:getRate xmlns:snp=\"urn:xmethods-CurrencyExchange\">" +
           params + "</snp:getRate></soap:Body></soap:Envelope>";
}

std::string Escaped(std::u16string_view text, XmlEscapeMode mode = XmlEscapeMode::kElement) {
    std::string out;
    EscapeXmlText(text, mode, out);
    return out;
}

std::string Double(double v) {
    std::string out;
    FormatDouble(v, out);
    return out;
}

}  // namespace

TEST(SoapWriter, ConversionRateIsDocumentLiteralWithWrapper) {
    fixtures::ConversionRateBlock block{rates::kCurrency_USD, rates::kCurrency_JPY, 0};
    EXPECT_EQ(Generate(fixtures::kConversionRate, &block),
              kEnvelopeStart +
                  "<soap:Body><ConversionRate xmlns=\"http://zelvane.morvast.example/\">"
                  "<FromCurrency>USD</FromCurrency><ToCurrency>JPY</ToCurrency>"
                  "</ConversionRate></soap:Body></soap:Envelope>");
    block = {150, 137, 0};
    EXPECT_NE(Generate(fixtures::kConversionRate, &block)
                  .find("<FromCurrency>TRY</FromCurrency><ToCurrency>TRL</ToCurrency>"),
              std::string::npos);
}

TEST(SoapWriter, GetRateIsRpcEncodedWithSnpPrefix) {
    EXPECT_EQ(GetRateEnvelope(u"usa", u"japan"),
              GetRateBody("<country1>usa</country1><country2>japan</country2>"));
    // Irregular names go out exactly; an empty one is a present, empty element.
    EXPECT_EQ(GetRateEnvelope(u"new Zealand", u""),
              GetRateBody("<country1>new Zealand</country1><country2></country2>"));
}

TEST(SoapWriter, NullStringIsNil) {
    OwnedString b(u"japan");
    fixtures::GetRateBlock block{nullptr, b.p, 0};
    EXPECT_EQ(Generate(fixtures::kGetRate, &block),
              GetRateBody("<country1 xsi:nil=\"1\"/><country2>japan</country2>"));
}

TEST(SoapWriter, UnknownEnumerationValueFails) {
    for (int bad : {-1, 151, 1000}) {
        fixtures::ConversionRateBlock block{rates::kCurrency_USD, bad, 0};
        Status s = kStatusOk;
        Generate(fixtures::kConversionRate, &block, &s);
        EXPECT_FALSE(Succeeded(s)) << bad;
    }
}

TEST(SoapWriter, NoOperationIsAnInvalidArgument) {
    std::string text;
    CStringOutputStream out(text);
    EXPECT_EQ(GenerateRequest(nullptr, nullptr, out), kStatusInvalidArg);
}

TEST(SoapWriter, AppendFailureEndsGeneration) {
    struct Failing final : ISoapOutputStream {
        int calls = 0;
        Status Append(const char*, size_t) override { return ++calls == 3 ? kStatusOutOfMemory : kStatusOk; }
    } out;
    fixtures::ConversionRateBlock block{1, 2, 0};
    EXPECT_EQ(GenerateRequest(&fixtures::kConversionRate, &block, out), kStatusOutOfMemory);
    EXPECT_EQ(out.calls, 3);  // nothing appended after the failure
}

TEST(SoapWriter, ReceivedParametersAreNotWritten) {
    OwnedString t(u"a\"b'c");
    fixtures::EchoBlock block{};
    block.text = t.p;
    EXPECT_EQ(Generate(fixtures::kEcho, &block),
              kEnvelopeStart + "<soap:Body><Echo xmlns=\"urn:echo\"><text>a\"b'c</text></Echo>"
                               "</soap:Body></soap:Envelope>");
}

namespace {
struct Mixed {
    SoapArray nums;
    double grid[2][2];
    fixtures::Point pt;
    uint8_t flag;
    SoapBinary data;
    SoapArray none;
};
const int kGridDims[] = {2, 2, 0};
const SoapParamInfo kPointFieldsW[] = {
    {NameHash(u"x"), "x", u"x", 1, kTypeInt, 0x5000, offsetof(fixtures::Point, x), nullptr, nullptr, nullptr, nullptr, 0},
    {NameHash(u"label"), "label", u"label", 5, kTypeString, 0x5000, offsetof(fixtures::Point, label), nullptr, nullptr, nullptr, nullptr, 0},
    {},
};
const SoapStructInfo kPointW = {kKindStruct, "Point", "urn:p", kPointFieldsW, sizeof(fixtures::Point)};
const SoapParamInfo kMixedParams[] = {
    {NameHash(u"nums"), "nums", u"nums", 4, kTypeInt, 0x5009, offsetof(Mixed, nums), nullptr, nullptr, nullptr, nullptr, 0},
    {NameHash(u"grid"), "grid", u"grid", 4, kTypeDouble, 0x5011, offsetof(Mixed, grid), kGridDims, nullptr, nullptr, nullptr, 0},
    {NameHash(u"pt"), "pt", u"pt", 2, kTypeTable, 0x5001, offsetof(Mixed, pt), nullptr, nullptr, &kPointW, nullptr, 0},
    {NameHash(u"flag"), "flag", u"flag", 4, kTypeBoolean, 0x5021, offsetof(Mixed, flag), nullptr, nullptr, nullptr, nullptr, 0},
    {NameHash(u"data"), "data", u"data", 4, kTypeHexBinary, 0x5001, offsetof(Mixed, data), nullptr, nullptr, nullptr, "urn:d", 5},
    {NameHash(u"none"), "none", u"none", 4, kTypeInt, 0x5009, offsetof(Mixed, none), nullptr, nullptr, nullptr, nullptr, 0},
    {NameHash(u"skip"), "skip", u"skip", 4, kTypeInt, 0x5201, offsetof(Mixed, nums), nullptr, nullptr, nullptr, nullptr, 0},
    {},
};
const SoapOperationInfo kMixed = {NameHash(u"mixed"), "mixed", 5, u"mixed", 5, kKindOperation,
                                  kMixedParams, sizeof(Mixed), 0x5000, "urn:m", u"urn:m",
                                  NameHash(u"urn:m"), 5};
}  // namespace

TEST(SoapWriter, ArraysStructuresBooleansAndBinary) {
    int32_t nums[] = {1, -2, 3};
    uint8_t bytes[] = {0x00, 0xFF};
    OwnedString label(u"p&q");
    Mixed block{};
    block.nums = {nums, 3};
    block.grid[0][0] = 1;
    block.grid[0][1] = 0.5;
    block.grid[1][0] = -3;
    block.grid[1][1] = 100;
    block.pt = {7, label.p};
    block.flag = 1;
    block.data = {bytes, 2};
    const std::string text = Generate(kMixed, &block);
    const std::string params =
        "<nums soapenc:arrayType=\"xsd:int[3]\"><int>1</int><int>-2</int><int>3</int></nums>"
        "<grid soapenc:arrayType=\"xsd:double[2, 2]\"><double>1</double><double>0.5</double>"
        "<double>-3</double><double>100</double></grid>"
        "<pt><x>7</x><label>p&amp;q</label></pt>"
        "<flag soap:mustUnderstand=\"1\">true</flag>"
        "<snp:data xmlns:snp=\"urn:d\">00FF</snp:data>"
        "<none xsi:nil=\"1\"/>";
    EXPECT_NE(text.find("<snp:mixed xmlns:snp=\"urn:m\">" + params + "</snp:mixed>"), std::string::npos) << text;
}

TEST(XmlEscape, EntitiesAndCharacterReferences) {
    EXPECT_EQ(Escaped(u"AT&T <x>"), "AT&amp;T &lt;x&gt;");
    EXPECT_EQ(Escaped(u"caf\u00E9"), "caf&#x00E9;");
    EXPECT_EQ(Escaped(u"\U0001F600!"), "&#x01F600;!");
    EXPECT_EQ(Escaped(u"a\tb\r\n"), "a&#x0009;b&#x000D;&#x000A;");
    EXPECT_EQ(Escaped(u"~\u007F"), "~&#x007F;");
    // Quotes only matter inside attribute values.
    EXPECT_EQ(Escaped(u"\"'"), "\"'");
    EXPECT_EQ(Escaped(u"\"'", XmlEscapeMode::kAttribute), "&quot;&apos;");
    // A lone surrogate is not a pair: written as the code unit it is.
    EXPECT_EQ(Escaped(std::u16string(1, char16_t(0xD83D)) + u"x"), "&#xD83D;x");
}

TEST(SoapValueWriters, DoublesInShortestFixedForm) {
    EXPECT_EQ(Double(100.0), "100");
    EXPECT_EQ(Double(1.5), "1.5");
    EXPECT_EQ(Double(-0.25), "-0.25");
    EXPECT_EQ(Double(0.0), "0");
    EXPECT_EQ(Double(-0.0), "-0");
    EXPECT_EQ(Double(1e20), "100000000000000000000");
    EXPECT_EQ(Double(std::numeric_limits<double>::infinity()), "INF");
    EXPECT_EQ(Double(-std::numeric_limits<double>::infinity()), "-INF");
    EXPECT_EQ(Double(std::nan("")), "NaN");
    // %.512g is exact: the binary value of 0.1 in full.
    EXPECT_EQ(Double(0.1), "0.1000000000000000055511151231257827021181583404541015625");
}

TEST(SoapValueWriters, BinaryForms) {
    const uint8_t bytes[] = {0x00, 0xAB, 0x7F, 'M', 'a'};
    std::string hex, b64;
    FormatHexBinary(bytes, 3, hex);
    EXPECT_EQ(hex, "00AB7F");
    FormatBase64Binary(bytes + 3, 2, b64);
    EXPECT_EQ(b64, "TWE=");
    b64.clear();
    FormatBase64Binary(bytes + 3, 1, b64);
    EXPECT_EQ(b64, "TQ==");
}
