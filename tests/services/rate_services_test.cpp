// The two rate clients against real servers on loopback: the local rate
// service (gSOAP, started with --verbose so its log says what each call
// received) and the scripted raw server for answers gSOAP never gives. The
// servers and their ports come from the state folder of the ctest fixture.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "rates/currency_convertor.h"
#include "rates/currency_exchange_service.h"

namespace {

constexpr int kAfa = 0;  // listed, but the rates file has no rate for it
constexpr int kBsd = 6;  // the country name is empty
constexpr int kJpy = 61;
constexpr int kMwk = 77;  // "malawi kwacha"
constexpr int kNzd = 92;  // "new Zealand"
constexpr int kTrl = 137;
constexpr int kUsd = 138;
constexpr int kTry = 150;

// Any value no answer of these tests has: it shows that a failed call left
// the caller's variable alone.
constexpr double kUntouched = -7.5;

std::string StateDir() {
    const char* dir = std::getenv("ZELVANE_RATE_SERVERS");
    return dir ? dir : "";
}

bool StateFileExists(const std::string& name) { return std::ifstream(StateDir() + "/" + name).good(); }

std::string StateFile(const std::string& name) {
    std::ifstream in(StateDir() + "/" + name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string Url(const char* server, const std::string& path) {
    return "http://127.0.0.1:" + std::to_string(std::atoi(StateFile(std::string(server) + ".port").c_str())) + path;
}

// The service's log holds one line per call it answered, naming what it
// received: `ConversionRate USD JPY -> 117.25`, `getRate "usa" "japan" -> ...`.
bool ServiceLogged(const std::string& line) {
    return StateFile("ratesvc.log").find("zelvane-ratesvc: " + line + "\n") != std::string::npos;
}

// A tag of this run for the raw server's request counts: unique enough
// that parallel test processes and earlier runs never share one.
std::string UniqueTag(const char* name) {
    return std::string(name) + "-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
}

std::string Narrow(const std::u16string& text) { return std::string(text.begin(), text.end()); }

class RawServer : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(StateDir().empty()) << "ZELVANE_RATE_SERVERS is not set; run through ctest";
        ASSERT_TRUE(StateFileExists("raw.port")) << "no raw server in " << StateDir();
    }
};

class RateService : public RawServer {
protected:
    void SetUp() override {
        RawServer::SetUp();
        if (HasFatalFailure()) return;
        if (StateFileExists("ratesvc.missing")) GTEST_SKIP() << StateFile("ratesvc.missing");
        ASSERT_TRUE(StateFileExists("ratesvc.port")) << "the rate service did not publish its port";
        namespace_ = StateFile("ratesvc.namespace");
        ASSERT_FALSE(namespace_.empty());
    }

    static std::string ConversionUrl() { return Url("ratesvc", "/CurrencyConvertor.asmx"); }
    static std::string ExchangeUrl() { return Url("ratesvc", "/soap"); }

    std::string namespace_;
};

TEST_F(RateService, ConversionRateAnswersUsdToJpy) {
    rates::CCurrencyConvertor convertor(ConversionUrl(), namespace_);
    double rate = kUntouched;
    ASSERT_EQ(convertor.ConversionRate(kUsd, kJpy, &rate), soap::kStatusOk) << convertor.ResultCode();
    EXPECT_EQ(rate, 117.25);
    EXPECT_EQ(convertor.ResultCode(), SOAPCLIENT_SUCCESS);
    EXPECT_TRUE(ServiceLogged("ConversionRate USD JPY -> 117.25"));
}

TEST_F(RateService, TurkishLirasAreSentAsTheirOwnCodes) {
    rates::CCurrencyConvertor convertor(ConversionUrl(), namespace_);
    double rate = kUntouched;
    ASSERT_EQ(convertor.ConversionRate(kTry, kTrl, &rate), soap::kStatusOk) << convertor.ResultCode();
    EXPECT_DOUBLE_EQ(rate, 1e6);  // the old lira at its legal factor
    EXPECT_TRUE(ServiceLogged("ConversionRate TRY TRL -> 1000000"));
    // The other way round on the same connection.
    ASSERT_EQ(convertor.ConversionRate(kTrl, kTry, &rate), soap::kStatusOk) << convertor.ResultCode();
    EXPECT_DOUBLE_EQ(rate, 1e-6);
    EXPECT_TRUE(ServiceLogged("ConversionRate TRL TRY -> 1e-06"));
}

TEST_F(RateService, FaultLeavesTheRateAloneAndTheNextCallSucceeds) {
    rates::CCurrencyConvertor convertor(ConversionUrl(), namespace_);
    double rate = kUntouched;
    EXPECT_FALSE(soap::Succeeded(convertor.ConversionRate(kAfa, kJpy, &rate)));
    EXPECT_EQ(convertor.ResultCode(), SOAPCLIENT_FAULT);
    EXPECT_EQ(rate, kUntouched);
    EXPECT_NE(Narrow(convertor.Client().FaultInfo().faultString).find("No rate for AFA"), std::string::npos)
        << Narrow(convertor.Client().FaultInfo().faultString);

    ASSERT_EQ(convertor.ConversionRate(kUsd, kJpy, &rate), soap::kStatusOk) << convertor.ResultCode();
    EXPECT_EQ(rate, 117.25);
    EXPECT_EQ(convertor.ResultCode(), SOAPCLIENT_SUCCESS);
    EXPECT_TRUE(convertor.Client().FaultInfo().faultString.empty());
}

TEST_F(RateService, ConversionRateInAnotherNamespaceIsRefused) {
    // The service checks the wrapper's namespace: the setting matters.
    rates::CCurrencyConvertor convertor(ConversionUrl(), "urn:not-the-service:");
    double rate = kUntouched;
    EXPECT_FALSE(soap::Succeeded(convertor.ConversionRate(kUsd, kJpy, &rate)));
    EXPECT_EQ(convertor.ResultCode(), SOAPCLIENT_FAULT);
    EXPECT_EQ(rate, kUntouched);
}

TEST_F(RateService, GetRateAnswersUsaToJapan) {
    rates::CCurrencyExchangeService exchange(ExchangeUrl());
    EXPECT_EQ(rates::CountryNameW(kUsd), u"usa");
    float rate = -1;
    ASSERT_EQ(exchange.getRate(rates::CountryNameW(kUsd), rates::CountryNameW(kJpy), &rate), soap::kStatusOk)
        << exchange.ResultCode();
    EXPECT_EQ(rate, 117.25f);
    EXPECT_TRUE(ServiceLogged("getRate \"usa\" \"japan\" -> 117.25"));
}

TEST_F(RateService, IrregularCountryNamesArriveAsTheyAre) {
    rates::CCurrencyExchangeService exchange(ExchangeUrl());
    float rate = -1;
    ASSERT_EQ(exchange.getRate(rates::CountryNameW(kNzd), rates::CountryNameW(kMwk), &rate), soap::kStatusOk)
        << exchange.ResultCode();
    EXPECT_FLOAT_EQ(rate, 1250.0f);
    // The capital Z and the blank reached the service unchanged.
    EXPECT_TRUE(ServiceLogged("getRate \"new Zealand\" \"malawi kwacha\" -> 1250"));
}

TEST_F(RateService, EmptyCountryNameGetsAFaultAndTheNextCallSucceeds) {
    rates::CCurrencyExchangeService exchange(ExchangeUrl());
    ASSERT_EQ(rates::CountryNameW(kBsd), u"");
    float rate = -1;
    EXPECT_FALSE(soap::Succeeded(exchange.getRate(rates::CountryNameW(kBsd), rates::CountryNameW(kJpy), &rate)));
    EXPECT_EQ(exchange.ResultCode(), SOAPCLIENT_FAULT);
    EXPECT_EQ(rate, -1);
    // The service received an empty name, not a missing or nil one that it
    // would have decoded differently.
    EXPECT_EQ(Narrow(exchange.Client().FaultInfo().faultString), "Unknown country name \"\"");
    EXPECT_TRUE(ServiceLogged("fault: Unknown country name \"\""));

    ASSERT_EQ(exchange.getRate(u"usa", u"japan", &rate), soap::kStatusOk) << exchange.ResultCode();
    EXPECT_EQ(rate, 117.25f);
}

TEST_F(RawServer, EmptyCountryNameIsAnElementWithNoContent) {
    const std::string tag = UniqueTag("empty-name");
    // Status 200 with an empty body: the client's read error.
    rates::CCurrencyExchangeService exchange(Url("raw", "/count/" + tag + "/status/200"));
    float rate = -1;
    EXPECT_FALSE(soap::Succeeded(exchange.getRate(rates::CountryNameW(kBsd), rates::CountryNameW(kJpy), &rate)));
    EXPECT_EQ(exchange.ResultCode(), SOAPCLIENT_READ_ERROR);
    EXPECT_EQ(rate, -1);
    ASSERT_EQ(StateFile("count-" + tag), "1");
    const std::string body = StateFile("body-" + tag);
    EXPECT_NE(body.find("<snp:getRate xmlns:snp=\"urn:xmethods-CurrencyExchange\"><country1></country1>"
                        "<country2>japan</country2></snp:getRate>"),
              std::string::npos)
        << body;
}

TEST_F(RawServer, ResponseWrapperOfAnotherNameIsAccepted) {
    rates::CCurrencyConvertor convertor(Url("raw", "/conversion/other-wrapper"), "urn:any:");
    double rate = kUntouched;
    ASSERT_EQ(convertor.ConversionRate(kUsd, kJpy, &rate), soap::kStatusOk) << convertor.ResultCode();
    EXPECT_EQ(rate, 110.5);
}

TEST_F(RawServer, MissingResultIsAParseErrorAndTheNextCallStartsClean) {
    const std::string tag = UniqueTag("no-result");
    // The first answer of the tag has an empty wrapper, every later one a rate.
    rates::CCurrencyConvertor convertor(Url("raw", "/count/" + tag + "/conversion/no-result-once"), "urn:any:");
    double rate = kUntouched;
    EXPECT_FALSE(soap::Succeeded(convertor.ConversionRate(kUsd, kJpy, &rate)));
    EXPECT_EQ(convertor.ResultCode(), SOAPCLIENT_PARSE_ERROR);
    EXPECT_EQ(rate, kUntouched);

    ASSERT_EQ(convertor.ConversionRate(kUsd, kJpy, &rate), soap::kStatusOk) << convertor.ResultCode();
    EXPECT_EQ(rate, 110.5);
    EXPECT_EQ(convertor.ResultCode(), SOAPCLIENT_SUCCESS);
    EXPECT_EQ(StateFile("count-" + tag), "2");
}

TEST_F(RawServer, ClosedPortIsASendError) {
    rates::CCurrencyConvertor convertor(Url("closed", "/CurrencyConvertor.asmx"), "urn:any:");
    double rate = kUntouched;
    EXPECT_FALSE(soap::Succeeded(convertor.ConversionRate(kUsd, kJpy, &rate)));
    EXPECT_EQ(convertor.ResultCode(), SOAPCLIENT_SEND_ERROR);
    EXPECT_EQ(rate, kUntouched);
}

}  // namespace
