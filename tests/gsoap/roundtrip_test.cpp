// The whole stack (request writer, HTTP client, response and fault readers)
// against a gSOAP server: one document/literal and one rpc/encoded operation,
// with faults for chosen inputs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "rates/currency_tables.h"
#include "tests/soap/fixture_operations.h"
#include "transport/event_socket.h"
#include "transport/soap_service_client.h"
#include "transport/soap_string.h"
#include "transport/soap_values.h"

using namespace soap;

namespace {

const char kConversionAction[] = "SOAPAction: \"http://zelvane.morvast.example/ConversionRate\"\r\n";
const char kEmptyAction[] = "SOAPAction: \"\"\r\n";

std::string Endpoint(const char* path) {
    const char* dir = std::getenv("ZELVANE_GSOAP_SERVER");
    if (!dir) {
        ADD_FAILURE() << "ZELVANE_GSOAP_SERVER is not set; run through ctest";
        return "http://127.0.0.1:1/";
    }
    std::ifstream in(std::string(dir) + "/rates.port");
    int port = 0;
    in >> port;
    EXPECT_GT(port, 0) << "the gSOAP server published no port";
    return "http://127.0.0.1:" + std::to_string(port) + path;
}

std::unique_ptr<CSoapServiceClient> Client(const char* path) {
    return std::make_unique<CSoapServiceClient>(Endpoint(path).c_str(), std::make_unique<CEventSocket>(),
                                                CreateXmlReader);
}

// What the conversion-rate client does around the shared call: the record,
// the copy of the out-value on success only.
Status ConversionRate(CSoapServiceClient& client, int from, int to, double* rate) {
    fixtures::ConversionRateBlock block{from, to, 0};
    Status s = client.Call(fixtures::kConversionRate, &block, kConversionAction);
    if (Succeeded(s)) *rate = block.ConversionRateResult;
    return s;
}

Status GetRate(CSoapServiceClient& client, std::u16string_view c1, std::u16string_view c2, float* rate) {
    fixtures::GetRateBlock block{AllocSoapString(c1), AllocSoapString(c2), 0};
    Status s = client.Call(fixtures::kGetRate, &block, kEmptyAction);
    if (Succeeded(s)) *rate = block.Result;
    FreeSoapString(block.country1);
    FreeSoapString(block.country2);
    return s;
}

}  // namespace

TEST(SoapRoundTrip, ConversionRateDocumentLiteral) {
    auto client = Client("/CurrencyConvertor.asmx");
    double rate = -1;
    ASSERT_EQ(ConversionRate(*client, rates::kCurrency_USD, rates::kCurrency_JPY, &rate), kStatusOk)
        << client->ResultCode();
    EXPECT_EQ(client->ResultCode(), SOAPCLIENT_SUCCESS);
    EXPECT_EQ(rate, 110.5);
    // Same client, same connection: TRY (150) against TRL (137).
    ASSERT_EQ(ConversionRate(*client, 150, 137, &rate), kStatusOk) << client->ResultCode();
    EXPECT_EQ(rate, 1000000.0);
}

TEST(SoapRoundTrip, GetRateRpcEncoded) {
    auto client = Client("/soap");
    float rate = -1;
    ASSERT_EQ(GetRate(*client, u"usa", u"japan", &rate), kStatusOk) << client->ResultCode();
    EXPECT_EQ(rate, 110.5f);
    ASSERT_EQ(GetRate(*client, u"new Zealand", u"new Zealand", &rate), kStatusOk);
    EXPECT_EQ(rate, 1.0f);
}

TEST(SoapRoundTrip, FaultsAreReadAndLeaveTheValueAlone) {
    auto client = Client("/CurrencyConvertor.asmx");
    double rate = -1;
    EXPECT_FALSE(Succeeded(ConversionRate(*client, rates::FindCurrencyCode("XAU"), 61, &rate)));
    EXPECT_EQ(client->ResultCode(), SOAPCLIENT_FAULT);
    EXPECT_EQ(client->FaultInfo().nCode, kFaultClient);
    EXPECT_EQ(client->FaultInfo().faultString, u"unknown currency");
    EXPECT_EQ(rate, -1);

    EXPECT_FALSE(Succeeded(ConversionRate(*client, rates::FindCurrencyCode("XAG"), 61, &rate)));
    EXPECT_EQ(client->ResultCode(), SOAPCLIENT_FAULT);
    EXPECT_EQ(client->FaultInfo().nCode, kFaultServer);
    EXPECT_EQ(client->FaultInfo().faultString, u"rates unavailable");

    // The next call starts clean: no fault left over, and it succeeds.
    ASSERT_EQ(ConversionRate(*client, 138, 61, &rate), kStatusOk) << client->ResultCode();
    EXPECT_EQ(client->FaultInfo().nCode, kFaultNone);
    EXPECT_TRUE(client->FaultInfo().faultString.empty());
    EXPECT_EQ(rate, 110.5);

    auto exchange = Client("/soap");
    float f = -1;
    EXPECT_FALSE(Succeeded(GetRate(*exchange, u"", u"japan", &f)));
    EXPECT_EQ(exchange->ResultCode(), SOAPCLIENT_FAULT);
    EXPECT_EQ(exchange->FaultInfo().nCode, kFaultServer);
    EXPECT_EQ(exchange->FaultInfo().faultString, u"no such country");
    EXPECT_EQ(f, -1);
}

TEST(SoapRoundTrip, UnknownCurrencyIsNotSent) {
    auto client = Client("/CurrencyConvertor.asmx");
    double rate = -1;
    EXPECT_FALSE(Succeeded(ConversionRate(*client, 151, 61, &rate)));
    EXPECT_EQ(client->ResultCode(), SOAPCLIENT_GENERATE_ERROR);
    EXPECT_EQ(client->Http().Http().StatusCode(), -1);  // no exchange took place
    EXPECT_EQ(rate, -1);
}
