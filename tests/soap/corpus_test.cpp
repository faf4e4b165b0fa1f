// Every document of the corpus through the platform's XML reader and the SOAP
// readers, against the outcome the manifest records for it. The same
// manifest is checked natively (expat) and under Wine (MSXML).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "tests/soap/fixture_operations.h"
#include "transport/soap_fault.h"
#include "transport/soap_response_parser.h"
#include "transport/soap_values.h"

using namespace soap;

namespace {

struct CorpusCase {
    std::string file, reader, operation, outcome, value;
};

bool ReadFile(const std::string& path, std::string* out) {
    FILE* f = std::fopen(path.c_str(), "rb");
#ifdef _WIN32
    // Under Wine an absolute Unix path lives on drive Z:.
    if (!f && !path.empty() && path[0] == '/') f = std::fopen(("Z:" + path).c_str(), "rb");
#endif
    if (!f) return false;
    char buf[4096];
    size_t n;
    out->clear();
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out->append(buf, n);
    std::fclose(f);
    return true;
}

// Names the case by its document instead of dumping its bytes.
void PrintTo(const CorpusCase& c, std::ostream* os) { *os << c.file; }

std::vector<CorpusCase> LoadManifest() {
    std::vector<CorpusCase> cases;
    std::string text;
    if (!ReadFile(std::string(ZELVANE_SOAP_CORPUS) + "/manifest.txt", &text)) return cases;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream words(line);
        CorpusCase c;
        words >> c.file >> c.reader;
        if (c.reader == "response") words >> c.operation;
        words >> c.outcome;
        if (c.reader == "fault" && c.outcome == "FAULT") words >> c.operation;  // the code
        std::getline(words >> std::ws, c.value);
        cases.push_back(c);
    }
    return cases;
}

const std::vector<CorpusCase>& Manifest() {
    static const std::vector<CorpusCase> cases = LoadManifest();
    return cases;
}

std::u16string FromUtf8(const std::string& s) {
    std::u16string out;
    for (size_t i = 0; i < s.size();) {
        unsigned char c = static_cast<unsigned char>(s[i++]);
        uint32_t cp = c;
        int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        if (extra) cp = c & (0x3F >> extra);
        for (int k = 0; k < extra && i < s.size(); ++k) cp = cp << 6 | (s[i++] & 0x3F);
        if (cp >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

void ExpectValue(double actual, const std::string& expected, bool single = false) {
    if (expected == "inf") EXPECT_TRUE(std::isinf(actual) && actual > 0) << actual;
    else if (expected == "-inf") EXPECT_TRUE(std::isinf(actual) && actual < 0) << actual;
    else if (expected == "nan") EXPECT_TRUE(std::isnan(actual)) << actual;
    else if (single) EXPECT_EQ(actual, static_cast<double>(std::strtof(expected.c_str(), nullptr)));
    else EXPECT_EQ(actual, std::strtod(expected.c_str(), nullptr));
}

class SoapCorpus : public ::testing::TestWithParam<CorpusCase> {};

TEST_P(SoapCorpus, Outcome) {
    const CorpusCase& c = GetParam();
    std::string doc;
    ASSERT_TRUE(ReadFile(std::string(ZELVANE_SOAP_CORPUS) + "/" + c.file, &doc)) << c.file;
    std::unique_ptr<IXmlReader> reader;
    ASSERT_EQ(CreateXmlReader(&reader), kStatusOk);

    if (c.reader == "fault") {
        SoapFaultInfo info;
        SoapClientError result = FaultResult(doc.data(), doc.size(), reader.get(), info);
        if (c.outcome == "PARSEFAULT") {
            EXPECT_EQ(result, SOAPCLIENT_PARSEFAULT_ERROR);
            return;
        }
        ASSERT_EQ(result, SOAPCLIENT_FAULT);
        EXPECT_EQ(info.nCode, std::atoi(c.operation.c_str()));
        EXPECT_EQ(info.faultString, FromUtf8(c.value));
        return;
    }

    CSoapResponseParser parser;
    const bool ok = c.outcome == "ok";
    if (c.operation == "ConversionRate") {
        // A value already there stands for the caller's: a failed parse must
        // not have touched it.
        fixtures::ConversionRateBlock block{138, 61, -1.0};
        ASSERT_EQ(parser.BeginCall(&fixtures::kConversionRate, &block), kStatusOk);
        if (c.value == "0") block.ConversionRateResult = 0;
        Status s = parser.ParseResponse(*reader, doc.data(), doc.size());
        parser.EndCall();
        ASSERT_EQ(Succeeded(s), ok) << std::hex << s;
        if (ok) ExpectValue(block.ConversionRateResult, c.value);
    } else {
        ASSERT_EQ(c.operation, "getRate");
        fixtures::GetRateBlock block{nullptr, nullptr, 0};
        ASSERT_EQ(parser.BeginCall(&fixtures::kGetRate, &block), kStatusOk);
        Status s = parser.ParseResponse(*reader, doc.data(), doc.size());
        parser.EndCall();
        ASSERT_EQ(Succeeded(s), ok) << std::hex << s;
        if (ok) ExpectValue(static_cast<double>(block.Result), c.value, true);
    }
}

std::string CaseName(const ::testing::TestParamInfo<CorpusCase>& info) {
    std::string name;
    for (char ch : info.param.file) name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Documents, SoapCorpus, ::testing::ValuesIn(Manifest()), CaseName);

TEST(SoapCorpusManifest, IsFoundAndComplete) {
    // Guards against a corpus that silently went missing (no cases at all).
    EXPECT_GE(Manifest().size(), 60u);
}

}  // namespace
