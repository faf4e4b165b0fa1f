// GET in the real program under Wine, against real servers on loopback: the
// local rate service, the scripted raw server (which counts what reaches
// it) and a port nothing listens on, all started by the rate-server fixture
// of tests/services. The "Service" settings are written before each start,
// and rewritten between queries where a case needs other servers: every
// query reads them afresh.
#include <chrono>
#include <optional>
#include <string>

#include "tests/driver/combo_box.h"
#include "tests/driver/e2e_fixture.h"
#include "tests/driver/message_box.h"
#include "tests/driver/rate_servers.h"
#include "tests/driver/registry.h"
#include "tests/driver/user_input.h"
#include "tests/driver/window_query.h"

namespace driver::zelvane {
namespace {

constexpr int kBsd = 6;  // its country name is empty: the exchange-rate service faults
constexpr int kJpy = 61;
constexpr int kNzd = 92;
constexpr int kChf = 129;
constexpr int kTrl = 137;
constexpr int kUsd = 138;

// A network wait of the program is bounded by 10 s; both services may be asked.
constexpr milliseconds kQueryTimeout{30000};

class GetTest : public ZelvaneTest {
protected:
    void SetUp() override {
        ZelvaneTest::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_TRUE(RateServerFileExists("raw.port")) << "no rate servers in " << RateServerDir();
    }

    // For the cases that need the local rate service.
    bool RateServiceMissing() {
        if (RateServerFileExists("ratesvc.missing")) return true;
        EXPECT_TRUE(RateServerFileExists("ratesvc.port")) << "the rate service did not publish its port";
        return false;
    }

    static void UseServices(const std::wstring& conversionRateUrl, const std::wstring& exchangeRateUrl) {
        const std::wstring key = SectionKey(L"Service");
        ASSERT_TRUE(WriteUserString(key, L"ConversionRateUrl", conversionRateUrl));
        ASSERT_TRUE(WriteUserString(key, L"ConversionRateNamespace", WideAscii(RateServerFile("ratesvc.namespace"))));
        ASSERT_TRUE(WriteUserString(key, L"ExchangeRateUrl", exchangeRateUrl));
    }
    static std::wstring RateServiceConversion() { return RateServerUrl("ratesvc", "/CurrencyConvertor.asmx"); }
    static std::wstring RateServiceExchange() { return RateServerUrl("ratesvc", "/soap"); }
    static std::wstring ClosedPort(const char* path) { return RateServerUrl("closed", path); }

    std::wstring RateField() const { return WindowText(Control(kIdRate)); }

    void Select(int pickerId, int index) { ASSERT_TRUE(SelectComboIndex(Control(pickerId), index)) << pickerId; }

    // GET ending in a rate. The expected text must differ from the field's
    // text before the query, or the wait could not tell them apart.
    void GetShowsRate(const std::wstring& expected) {
        ASSERT_NE(RateField(), expected);
        ASSERT_TRUE(ClickButton(Control(kIdGet)));
        std::wstring shown;
        EXPECT_TRUE(WaitUntil(
            [&] {
                shown = RateField();
                return shown == expected;
            },
            kQueryTimeout))
            << "the rate field shows \"" << std::string(shown.begin(), shown.end()) << "\"";
        EXPECT_FALSE(FindMessageBox(app_.pid()).has_value()) << "a message came with the rate";
    }

    // GET ending in a message box with OK and this text and icon, captioned
    // with the program's name; the rate field stays empty. The box is
    // answered and gone when this returns.
    void GetShowsMessage(const std::wstring& text, MessageBoxIcon icon) {
        ASSERT_TRUE(ClickButton(Control(kIdGet)));
        const auto box = WaitForMessageBox(app_.pid(), kQueryTimeout);
        ASSERT_TRUE(box.has_value()) << "no message box";
        EXPECT_EQ(box->caption, kAppName);
        EXPECT_EQ(box->text, text);
        EXPECT_EQ(box->ButtonSet(), "OK");
        EXPECT_EQ(IconName(box->icon), std::string(IconName(icon)));
        EXPECT_EQ(RateField(), L"");
        ASSERT_TRUE(AnswerMessageBox(*box, IDOK));
        ASSERT_TRUE(WaitUntil([&] { return !FindMessageBox(app_.pid()).has_value(); }, kReactTimeout));
        EXPECT_EQ(RateField(), L"");
    }

    // The stored pair becomes (first, second): the query saves it last.
    static bool PairSaved(int first, int second) {
        return WaitUntil(
            [&] {
                return ReadUserDword(SectionKey(L"Base"), L"nCurrency1") == static_cast<DWORD>(first) &&
                       ReadUserDword(SectionKey(L"Base"), L"nCurrency2") == static_cast<DWORD>(second);
            },
            kReactTimeout);
    }
};

TEST_F(GetTest, ConversionRateServiceAnswersAndThePairIsSaved) {
    if (RateServiceMissing()) GTEST_SKIP() << RateServerFile("ratesvc.missing");
    ASSERT_NO_FATAL_FAILURE(UseServices(RateServiceConversion(), RateServiceExchange()));
    ASSERT_TRUE(StartApp());

    ASSERT_NO_FATAL_FAILURE(GetShowsRate(L"117.2500"));
    EXPECT_TRUE(PairSaved(kUsd, kJpy));

    // 12345678.5 is a double's answer: the exchange-rate service's float
    // would have shown 12345678.0000. Four decimals, no grouping.
    ASSERT_NO_FATAL_FAILURE(Select(kIdCurrency2, kTrl));
    ASSERT_NO_FATAL_FAILURE(GetShowsRate(L"12345678.5000"));
    EXPECT_TRUE(PairSaved(kUsd, kTrl));
}

// The raw server, a Linux process, stands in for another user's process on
// the port: under Wine no loopback server has an owner the program can see
// (wineserver holds every socket), which is what the program meets on
// Windows when the owner cannot be opened. With the owner check on, nothing
// reaches it; with the user's setting off, the same server answers.
TEST_F(GetTest, ALoopbackServiceOfAnotherOwnerIsAskedNothing) {
    const ScriptedRatePeer peer = ScriptedRatePeer::Unique("owner");
    ASSERT_TRUE(peer.SetRate("131.25"));
    ASSERT_TRUE(peer.Use());
    const std::wstring key = SectionKey(L"Service");
    ASSERT_TRUE(WriteUserString(key, L"ExchangeRateUrl", *ReadUserString(key, L"ConversionRateUrl")));
    ASSERT_TRUE(WriteUserDword(key, L"CheckLocalServiceOwner", 1));
    ASSERT_TRUE(StartApp());
    ASSERT_NO_FATAL_FAILURE(GetShowsMessage(
        L"ローカルのレートサービスがこのユーザーのものと確認できないため、問い合わせませんでした",
        MessageBoxIcon::kError));
    EXPECT_EQ(peer.Requests(), 0);

    ASSERT_TRUE(WriteUserDword(key, L"CheckLocalServiceOwner", 0));
    ASSERT_NO_FATAL_FAILURE(GetShowsRate(L"131.2500"));
    EXPECT_EQ(peer.Requests(), 1);
}

TEST_F(GetTest, ExchangeRateServiceAnswersWhenTheConversionRateServiceIsDown) {
    if (RateServiceMissing()) GTEST_SKIP() << RateServerFile("ratesvc.missing");
    ASSERT_NO_FATAL_FAILURE(UseServices(ClosedPort("/CurrencyConvertor.asmx"), RateServiceExchange()));
    ASSERT_TRUE(StartApp());

    ASSERT_NO_FATAL_FAILURE(Select(kIdCurrency1, kJpy));
    ASSERT_NO_FATAL_FAILURE(Select(kIdCurrency2, kChf));
    ASSERT_NO_FATAL_FAILURE(GetShowsRate(L"0.0091"));
    EXPECT_TRUE(PairSaved(kJpy, kChf));

    // A fault of the exchange-rate service, whatever it says, reads as an
    // unknown country; the pair is saved all the same.
    ASSERT_NO_FATAL_FAILURE(Select(kIdCurrency1, kBsd));
    ASSERT_NO_FATAL_FAILURE(GetShowsMessage(L"登録されていない国名です", MessageBoxIcon::kError));
    EXPECT_TRUE(PairSaved(kBsd, kChf));
}

TEST_F(GetTest, BothServicesDownShowTheSendError) {
    if (RateServiceMissing()) GTEST_SKIP() << RateServerFile("ratesvc.missing");
    ASSERT_NO_FATAL_FAILURE(UseServices(RateServiceConversion(), RateServiceExchange()));
    ASSERT_TRUE(StartApp());
    ASSERT_NO_FATAL_FAILURE(GetShowsRate(L"117.2500"));

    ASSERT_NO_FATAL_FAILURE(UseServices(ClosedPort("/CurrencyConvertor.asmx"), ClosedPort("/soap")));
    ASSERT_NO_FATAL_FAILURE(Select(kIdCurrency2, kNzd));
    ASSERT_NO_FATAL_FAILURE(GetShowsMessage(L"SOAPCLIENT_SEND_ERROR", MessageBoxIcon::kError));
    EXPECT_TRUE(PairSaved(kUsd, kNzd));
}

TEST_F(GetTest, DrippingServerEndsInTheSendErrorWithinTheTimeOut) {
    // The conversion-rate service announces 2000 bytes and sends one every
    // half second, so no single wait of the program times out (the drip
    // lasts 17 minutes); the exchange-rate service is down. The message must
    // come when the 10 s of the exchange are up, not when the drip ends.
    ASSERT_NO_FATAL_FAILURE(UseServices(RateServerUrl("raw", "/drip/2000"), ClosedPort("/soap")));
    ASSERT_TRUE(StartApp());
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(ClickButton(Control(kIdGet)));
    // A box can be visible a moment before its text is set: wait for both.
    std::optional<MessageBoxInfo> box;
    const bool shown = WaitUntil(
        [&] {
            box = FindMessageBox(app_.pid());
            return box && !box->text.empty();
        },
        milliseconds(10000 + 8000));
    const auto waited = std::chrono::duration_cast<milliseconds>(std::chrono::steady_clock::now() - start);
    ASSERT_TRUE(shown) << "no message within the time-out and a margin";
    EXPECT_EQ(box->text, L"SOAPCLIENT_SEND_ERROR");
    EXPECT_GE(waited.count(), 9000) << "the drip was cut before the time-out";
    ASSERT_TRUE(AnswerMessageBox(*box, IDOK));
}

TEST_F(GetTest, NoSelectionAsksForACurrencyAndSendsNothing) {
    // Both services are the raw server, which counts every request of this tag.
    const std::string tag =
        "get-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount64());
    const std::string path = "/count/" + tag + "/status/200";  // status 200, empty body
    ASSERT_NO_FATAL_FAILURE(UseServices(RateServerUrl("raw", path), RateServerUrl("raw", path)));
    ASSERT_TRUE(WriteUserDword(SectionKey(L"Base"), L"nCurrency1", 200));
    ASSERT_TRUE(StartApp());
    ASSERT_EQ(ComboSelection(Control(kIdCurrency1)), CB_ERR);

    ASSERT_NO_FATAL_FAILURE(GetShowsMessage(L"通貨を選択してください", MessageBoxIcon::kExclamation));
    EXPECT_FALSE(RateServerFileExists("count-" + tag)) << RateServerFile("count-" + tag) << " requests reached the server";
    // Nothing saved either.
    EXPECT_EQ(ReadUserDword(SectionKey(L"Base"), L"nCurrency1"), std::optional<DWORD>(200));
    EXPECT_FALSE(ReadUserDword(SectionKey(L"Base"), L"nCurrency2").has_value());

    // With a currency chosen the same servers are asked, both of them: the
    // count above could have seen requests.
    ASSERT_NO_FATAL_FAILURE(Select(kIdCurrency1, kUsd));
    ASSERT_NO_FATAL_FAILURE(GetShowsMessage(L"SOAPCLIENT_READ_ERROR", MessageBoxIcon::kError));
    EXPECT_EQ(RateServerFile("count-" + tag), "2");
    const std::string lastBody = RateServerFile("body-" + tag);
    EXPECT_NE(lastBody.find("<country1>usa</country1><country2>japan</country2>"), std::string::npos) << lastBody;
    EXPECT_TRUE(PairSaved(kUsd, kJpy));
}

}  // namespace
}  // namespace driver::zelvane
