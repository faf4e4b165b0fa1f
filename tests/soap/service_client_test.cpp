// The call sequence over a scripted connection: which result code each kind
// of answer leaves, what the request on the wire looks like, and that a
// failed call leaves nothing behind.
#include "transport/soap_service_client.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tests/soap/fixture_operations.h"
#include "tests/support/scripted_connection.h"

using namespace soap;

namespace {

const char kAction[] = "SOAPAction: \"http://zelvane.morvast.example/ConversionRate\"\r\n";
const std::string kOk =
    "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Body>"
    "<R><ConversionRateResult>110.5</ConversionRateResult></R></soap:Body></soap:Envelope>";
const std::string kFault =
    "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Body><soap:Fault>"
    "<faultcode>soap:Client</faultcode><faultstring>bad</faultstring></soap:Fault></soap:Body></soap:Envelope>";

std::string Answer(const char* status, const std::string& body) {
    return std::string("HTTP/1.1 ") + status + "\r\nContent-Type: text/xml\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
}

struct Harness {
    CScriptedConnection* connection;
    std::unique_ptr<CSoapServiceClient> client;
    Harness() {
        auto c = std::make_unique<CScriptedConnection>();
        connection = c.get();
        client = std::make_unique<CSoapServiceClient>("http://rates.example/CurrencyConvertor.asmx", std::move(c),
                                                      CreateXmlReader);
    }
    Status Call(const std::string& answer, double* rate) {
        connection->Push(answer);
        fixtures::ConversionRateBlock block{138, 61, 0};
        Status s = client->Call(fixtures::kConversionRate, &block, kAction);
        if (Succeeded(s)) *rate = block.ConversionRateResult;
        return s;
    }
};

}  // namespace

TEST(SoapServiceClient, SuccessPostsTheEnvelopeAndReadsTheRate) {
    Harness h;
    double rate = -1;
    ASSERT_EQ(h.Call(Answer("200 OK", kOk), &rate), kStatusOk);
    EXPECT_EQ(rate, 110.5);
    EXPECT_EQ(h.client->ResultCode(), SOAPCLIENT_SUCCESS);
    const std::string& wire = h.connection->written;
    EXPECT_EQ(wire.rfind("POST /CurrencyConvertor.asmx HTTP/1.1\r\n", 0), 0u);
    EXPECT_NE(wire.find(kAction), std::string::npos);
    const std::string envelope = h.client->Http().RequestText();
    EXPECT_NE(envelope.find("<FromCurrency>USD</FromCurrency><ToCurrency>JPY</ToCurrency>"), std::string::npos);
    EXPECT_EQ(wire.substr(wire.size() - envelope.size()), envelope);
}

TEST(SoapServiceClient, EachKindOfAnswerLeavesItsCode) {
    struct Case {
        std::string answer;
        SoapClientError code;
    } cases[] = {
        {Answer("500 Internal Server Error", kFault), SOAPCLIENT_FAULT},
        {Answer("500 Internal Server Error", ""), SOAPCLIENT_FAULT},
        {Answer("500 Internal Server Error", "<html>oops</html>"), SOAPCLIENT_PARSEFAULT_ERROR},
        {Answer("200 OK", ""), SOAPCLIENT_READ_ERROR},
        {Answer("202 Accepted", ""), SOAPCLIENT_PARSE_ERROR},
        {Answer("201 Created", kOk), SOAPCLIENT_SERVER_ERROR},
        {Answer("404 Not Found", ""), SOAPCLIENT_SEND_ERROR},
        {Answer("200 OK", "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Body><R/></soap:Body></soap:Envelope>"),
         SOAPCLIENT_PARSE_ERROR},
    };
    for (const Case& c : cases) {
        Harness h;
        double rate = -1;
        EXPECT_FALSE(Succeeded(h.Call(c.answer, &rate))) << c.answer;
        EXPECT_EQ(h.client->ResultCode(), c.code) << c.answer;
        EXPECT_EQ(rate, -1);
    }
}

TEST(SoapServiceClient, FaultRecordIsFilledAndEmptiedByTheNextCall) {
    Harness h;
    double rate = -1;
    EXPECT_FALSE(Succeeded(h.Call(Answer("500 Internal Server Error", kFault), &rate)));
    EXPECT_EQ(h.client->FaultInfo().nCode, kFaultClient);
    EXPECT_EQ(h.client->FaultInfo().faultString, u"bad");
    // The fault parse used the client's reader; the next call reinstalls the
    // response parser on it and starts from a clean record.
    ASSERT_EQ(h.Call(Answer("200 OK", kOk), &rate), kStatusOk);
    EXPECT_EQ(h.client->FaultInfo().nCode, kFaultNone);
    EXPECT_EQ(rate, 110.5);
}

TEST(SoapServiceClient, ReaderThatCannotBeMadeOrTakeTheHandlerIsAnInitializeError) {
    struct Refusing final : IXmlReader {
        Status SetContentHandler(IXmlContentHandler* h) override { return h ? kStatusFail : kStatusOk; }
        Status Parse(const char*, size_t) override { return kStatusFail; }
    };
    const struct {
        const char* what;
        XmlReaderFactory newReader;
    } cases[] = {
        {"no reader", [](std::unique_ptr<IXmlReader>*) { return kStatusFail; }},
        {"refusing reader",
         [](std::unique_ptr<IXmlReader>* r) {
             *r = std::make_unique<Refusing>();
             return kStatusOk;
         }},
    };
    for (const auto& c : cases) {
        auto scripted = std::make_unique<CScriptedConnection>();
        CScriptedConnection* connection = scripted.get();
        CSoapServiceClient client("http://rates.example/x", std::move(scripted), c.newReader);
        fixtures::ConversionRateBlock block{138, 61, 0};
        EXPECT_FALSE(Succeeded(client.Call(fixtures::kConversionRate, &block, kAction))) << c.what;
        EXPECT_EQ(client.ResultCode(), SOAPCLIENT_INITIALIZE_ERROR) << c.what;
        EXPECT_TRUE(connection->written.empty()) << c.what;
    }
}
