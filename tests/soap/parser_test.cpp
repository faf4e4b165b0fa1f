// Paths of the response reader that the two rate operations do not reach:
// strings, arrays, structures, nil, binary, multi-reference values, bounds.
#include "transport/soap_response_parser.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "tests/soap/fixture_operations.h"
#include "transport/soap_string.h"
#include "transport/soap_values.h"

using namespace soap;

namespace {

const std::string kEnv = "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
                         "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
                         "xmlns:enc=\"http://schemas.xmlsoap.org/soap/encoding/\"><s:Body>";
const std::string kEnvEnd = "</s:Body></s:Envelope>";

Status Parse(const SoapOperationInfo& op, void* block, const std::string& body) {
    std::unique_ptr<IXmlReader> reader;
    Status s = CreateXmlReader(&reader);
    if (!Succeeded(s)) return s;
    CSoapResponseParser parser;
    s = parser.BeginCall(&op, block);
    if (Succeeded(s)) s = parser.ParseResponse(*reader, body.data(), body.size());
    parser.EndCall();
    return s;
}

std::u16string Str(const char16_t* s) { return std::u16string(SoapStringView(s)); }

const char16_t* Item(const SoapArray& a, int i) { return static_cast<char16_t**>(a.pItems)[i]; }

const std::string kEchoOk =
    "<EchoResponse xmlns=\"urn:echo\"><echoed>A&amp;B \xC3\xA9\xF0\x9F\x98\x80</echoed>"
    "<words><w>one</w><w>two</w><w xsi:nil=\"true\"/><w>three</w><w>4</w><w>5</w><w>6</w>"
    "<w>7</w><w>8</w><w>9</w><w>10</w><w>eleven</w></words>"
    "<where><label>here</label><x>-5</x></where><blob>TWFu</blob></EchoResponse>";

}  // namespace

TEST(SoapResponseParser, StringsArraysStructuresAndBinary) {
    fixtures::EchoBlock block{};
    ASSERT_EQ(Parse(fixtures::kEcho, &block, kEnv + kEchoOk + kEnvEnd), kStatusOk);
    EXPECT_EQ(Str(block.echoed), u"A&B \u00E9\U0001F600");
    ASSERT_EQ(block.words.nCount, 12);  // grew past the first 10 slots
    EXPECT_EQ(Str(Item(block.words, 0)), u"one");
    EXPECT_EQ(Item(block.words, 2), nullptr);
    EXPECT_EQ(Str(Item(block.words, 11)), u"eleven");
    EXPECT_EQ(block.where.x, -5);
    EXPECT_EQ(Str(block.where.label), u"here");
    ASSERT_EQ(block.blob.nLength, 3);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(block.blob.pData), 3), "Man");
    ReleaseReceivedValues(fixtures::kEcho.pParams, reinterpret_cast<unsigned char*>(&block));
    EXPECT_EQ(block.echoed, nullptr);
    EXPECT_EQ(block.words.pItems, nullptr);
}

TEST(SoapResponseParser, FailureReleasesWhatWasFilled) {
    // Everything is read before the bad integer; ASan's leak check sees any
    // string or array left behind, the assertions see dangling pointers.
    const std::string bad =
        "<R xmlns=\"urn:echo\"><echoed>kept?</echoed><words><w>a</w></words>"
        "<where><label>l</label><x>2147483648</x></where></R>";
    fixtures::EchoBlock block{};
    EXPECT_NE(Parse(fixtures::kEcho, &block, kEnv + bad + kEnvEnd), kStatusOk);
    EXPECT_EQ(block.echoed, nullptr);
    EXPECT_EQ(block.words.pItems, nullptr);
    EXPECT_EQ(block.where.label, nullptr);
}

TEST(SoapResponseParser, StructureNeedsAllItsFieldsAndNilNeedsPermission) {
    fixtures::EchoBlock block{};
    const std::string missingX = "<R xmlns=\"urn:echo\"><echoed/><words/><where><label>l</label></where></R>";
    EXPECT_NE(Parse(fixtures::kEcho, &block, kEnv + missingX + kEnvEnd), kStatusOk);
    // blob may be nil (and absent); echoed may not be nil.
    const std::string nilBlob =
        "<R xmlns=\"urn:echo\"><echoed>e</echoed><words/><where><x>1</x><label/></where>"
        "<blob xsi:nil=\"1\"/></R>";
    ASSERT_EQ(Parse(fixtures::kEcho, &block, kEnv + nilBlob + kEnvEnd), kStatusOk);
    EXPECT_EQ(block.blob.pData, nullptr);
    EXPECT_EQ(block.words.nCount, 0);
    ReleaseReceivedValues(fixtures::kEcho.pParams, reinterpret_cast<unsigned char*>(&block));
    const std::string nilEchoed =
        "<R xmlns=\"urn:echo\"><echoed xsi:nil=\"true\"/><words/><where><x>1</x><label/></where></R>";
    EXPECT_NE(Parse(fixtures::kEcho, &block, kEnv + nilEchoed + kEnvEnd), kStatusOk);
}

TEST(SoapResponseParser, RpcArrayThroughHrefAndId) {
    fixtures::ListBlock block{};
    const std::string doc = kEnv +
                            "<m:listResponse xmlns:m=\"urn:list\"><values href=\"#id1\"/></m:listResponse>"
                            "<multiRef id=\"id1\" enc:arrayType=\"xsd:int[3]\"><i>4</i><i>5</i><i>6</i></multiRef>" +
                            kEnvEnd;
    ASSERT_EQ(Parse(fixtures::kList, &block, doc), kStatusOk);
    ASSERT_EQ(block.values.nCount, 3);
    EXPECT_EQ(static_cast<int32_t*>(block.values.pItems)[2], 6);
    ReleaseReceivedValues(fixtures::kList.pParams, reinterpret_cast<unsigned char*>(&block));

    // A reference that nothing resolves, an rpc array without a size, and
    // more items than the size announced all fail.
    for (const std::string& body :
         {std::string("<m:r xmlns:m=\"urn:list\"><values href=\"#nowhere\"/></m:r>"),
          std::string("<m:r xmlns:m=\"urn:list\"><values><i>1</i></values></m:r>"),
          std::string("<m:r xmlns:m=\"urn:list\"><values enc:arrayType=\"xsd:int[1]\"><i>1</i><i>2</i></values></m:r>"),
          std::string("<m:r xmlns:m=\"urn:list\"><values enc:arrayType=\"xsd:int[2]\"><i>1</i></values></m:r>"),
          std::string("<m:r xmlns:m=\"urn:list\"><values enc:arrayType=\"xsd:int[99999999999]\"/></m:r>")}) {
        fixtures::ListBlock b{};
        EXPECT_NE(Parse(fixtures::kList, &b, kEnv + body + kEnvEnd), kStatusOk) << body;
        EXPECT_EQ(b.values.pItems, nullptr);
    }
}

TEST(SoapResponseParser, NestingAndTextAreBounded) {
    fixtures::ConversionRateBlock block{};
    std::string deep = kEnv + "<R>";
    for (int i = 0; i < 200; ++i) deep += "<x>";
    for (int i = 0; i < 200; ++i) deep += "</x>";
    deep += "<ConversionRateResult>1</ConversionRateResult></R>" + kEnvEnd;
    EXPECT_NE(Parse(fixtures::kConversionRate, &block, deep), kStatusOk);

    fixtures::EchoBlock echo{};
    const std::string huge(CSoapResponseParser::kMaxTextUnits + 1, 'a');
    EXPECT_NE(Parse(fixtures::kEcho, &echo, kEnv + "<R xmlns=\"urn:echo\"><echoed>" + huge +
                                                "</echoed><words/><where><x>1</x><label/></where></R>" + kEnvEnd),
              kStatusOk);
    EXPECT_EQ(echo.echoed, nullptr);
}

TEST(SoapResponseParser, ParseWithoutBeginCallIsRefused) {
    std::unique_ptr<IXmlReader> reader;
    ASSERT_EQ(CreateXmlReader(&reader), kStatusOk);
    CSoapResponseParser parser;
    const std::string doc = kEnv + kEnvEnd;
    EXPECT_EQ(parser.ParseResponse(*reader, doc.data(), doc.size()), kStatusInvalidArg);
    EXPECT_EQ(parser.BeginCall(nullptr, nullptr), kStatusInvalidArg);
}
