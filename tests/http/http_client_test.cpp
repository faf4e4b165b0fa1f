// The client's request logic over a scripted connection: reuse, redirects,
// status checks and the SOAP judgement. The same paths run against real
// servers in the server tests; these pin down exact bytes and counts.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tests/support/scripted_connection.h"
#include "transport/http_client.h"
#include "transport/soap_http_client.h"

namespace {

CHttpUrl Url(const char* text) {
    CHttpUrl url;
    EXPECT_TRUE(url.SetUrl(text));
    return url;
}

int CountOf(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
    return n;
}

const char kOk[] = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";

TEST(HttpClient, ReusesTheConnectionUntilTheServerClosesIt) {
    CScriptedConnection wire;
    wire.SetMaxRead(7);
    wire.Push(kOk);
    wire.Push("HTTP/1.1 200 OK\r\nConnection: Close\r\nContent-Length: 1\r\n\r\n1");
    wire.Push(kOk);
    CHttpClient http(wire);
    CHttpUrl url = Url("http://h/x");
    ASSERT_TRUE(http.PerformRequest(&url, nullptr));
    EXPECT_EQ(std::string(http.BodyData(), http.BodyLength()), "ok");
    ASSERT_TRUE(http.PerformRequest(&url, nullptr));
    EXPECT_EQ(wire.connects, 1);
    EXPECT_FALSE(wire.IsConnected());
    ASSERT_TRUE(http.PerformRequest(&url, nullptr));
    EXPECT_EQ(wire.connects, 2);
    EXPECT_EQ(http.StatusCode(), 200);
}

TEST(HttpClient, RejectsUnusableUrlsBeforeConnecting) {
    CScriptedConnection wire;
    CHttpClient http(wire);
    EXPECT_FALSE(http.PerformRequest(nullptr, nullptr));
    CHttpUrl ftp = Url("ftp://h/x");
    EXPECT_FALSE(http.PerformRequest(&ftp, nullptr));
    CHttpUrl nohost = Url("http:///x");
    EXPECT_FALSE(http.PerformRequest(&nohost, nullptr));
    EXPECT_EQ(wire.connects, 0);
    EXPECT_EQ(http.StatusCode(), -1);
}

TEST(HttpClient, StatusCheck) {
    struct {
        const char* status;
        bool accepted;
    } table[] = {{"200", true}, {"206", true}, {"304", true}, {"305", true}, {"207", false},
                 {"301", false}, {"401", false}, {"407", false}, {"307", false}, {"500", false}};
    for (const auto& row : table) {
        CScriptedConnection wire;
        wire.Push(std::string("HTTP/1.1 ") + row.status + " X\r\nContent-Length: 0\r\n\r\n");
        CHttpClient http(wire);
        CHttpUrl url = Url("http://h/");
        HttpRequestOptions options;
        options.dwFlags = kHttpCheckStatus;  // no redirects
        EXPECT_EQ(http.PerformRequest(&url, &options), row.accepted) << row.status;
        EXPECT_EQ(wire.IsConnected(), row.accepted) << "a rejected status closes";
        options.dwFlags = 0;
        wire.Push(std::string("HTTP/1.1 ") + row.status + " X\r\nContent-Length: 0\r\n\r\n");
        EXPECT_TRUE(http.PerformRequest(&url, &options)) << "unchecked " << row.status;
    }
}

TEST(HttpClient, RedirectedPostCarriesItsBodyToTheNewPlace) {
    CScriptedConnection wire;
    wire.Push("HTTP/1.1 302 Found\r\nLocation: next?x=1\r\nContent-Length: 0\r\n\r\n");
    wire.Push("HTTP/1.1 303 See Other\r\nLocation: /top\r\nContent-Length: 0\r\n\r\n");
    wire.Push(kOk);
    CHttpClient http(wire);
    CHttpUrl url = Url("http://h:81/dir/page?old");
    const std::string body = "<envelope/>";
    HttpRequestOptions options;
    options.szMethod = "POST";
    options.szContentType = "text/xml";
    options.szExtraHeaders = "SOAPAction: \"a\"\r\n";
    options.pBody = body.data();
    options.nContentLength = static_cast<uint32_t>(body.size());
    ASSERT_TRUE(http.PerformRequest(&url, &options));
    EXPECT_EQ(http.RedirectsFollowed(), 2);
    EXPECT_EQ(http.CurrentUrl().Rebuild(), "http://h:81/top");
    const std::string second =
        "POST /dir/next?x=1 HTTP/1.1\r\nContent-Length: 11\r\nContent-Type: text/xml\r\n"
        "Host: h:81\r\nUser-Agent: Zelvane/2.0\r\n\r\n<envelope/>";
    EXPECT_NE(wire.written.find(second), std::string::npos) << wire.written;
    EXPECT_NE(wire.written.find("POST /top HTTP/1.1\r\n"), std::string::npos);
    EXPECT_EQ(CountOf(wire.written, "SOAPAction"), 1) << "extra lines go to the first URL only";
    EXPECT_EQ(CountOf(wire.written, body), 3);
    EXPECT_EQ(wire.connects, 1);
}

TEST(HttpClient, RedirectToAnotherHostConnectsThere) {
    CScriptedConnection wire;
    wire.Push("HTTP/1.1 301 Moved\r\nLocation: http://other:8080/x\r\nContent-Length: 0\r\n\r\n");
    wire.Push(kOk);
    CHttpClient http(wire);
    CHttpUrl url = Url("http://h/");
    ASSERT_TRUE(http.PerformRequest(&url, nullptr));
    EXPECT_EQ(wire.connects, 2);
    EXPECT_EQ(wire.lastHost, "other");
    EXPECT_EQ(wire.lastPort, 8080);
    EXPECT_NE(wire.written.find("GET /x HTTP/1.1\r\nHost: other:8080\r\n"), std::string::npos);
}

TEST(HttpClient, RedirectChainIsBounded) {
    CScriptedConnection wire;
    for (int i = 0; i < 20; ++i)
        wire.Push("HTTP/1.1 302 Found\r\nLocation: /loop\r\nContent-Length: 0\r\n\r\n");
    CHttpClient http(wire);
    CHttpUrl url = Url("http://h/loop");
    EXPECT_FALSE(http.PerformRequest(&url, nullptr));
    EXPECT_EQ(http.StatusCode(), 302);
    EXPECT_EQ(http.RedirectsFollowed(), CHttpClient::kMaxRedirects);
    EXPECT_EQ(CountOf(wire.written, "GET /loop"), CHttpClient::kMaxRedirects + 1);
    EXPECT_FALSE(wire.IsConnected());
}

TEST(HttpClient, RedirectFailures) {
    // No Location: the redirect fails, and with it the request.
    CScriptedConnection wire;
    wire.Push("HTTP/1.1 302 Found\r\nContent-Length: 0\r\n\r\n");
    CHttpClient http(wire);
    CHttpUrl url = Url("http://h/");
    EXPECT_FALSE(http.PerformRequest(&url, nullptr));
    // After one redirect went out, a refused final status is the caller's to judge.
    wire.Push("HTTP/1.1 302 Found\r\nLocation: /gone\r\nContent-Length: 0\r\n\r\n");
    wire.Push("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
    EXPECT_TRUE(http.PerformRequest(&url, nullptr));
    EXPECT_EQ(http.StatusCode(), 404);
}

std::unique_ptr<CSoapHttpClient> Soap(const char* response, CScriptedConnection** wire,
                                      const char* endpoint = "http://h/soap") {
    auto connection = std::make_unique<CScriptedConnection>();
    if (response) connection->Push(response);
    *wire = connection.get();
    auto client = std::make_unique<CSoapHttpClient>(endpoint, std::move(connection));
    client->RequestText() = "<e/>";
    return client;
}

class RecordingFaultParser : public ISoapFaultParser {
public:
    explicit RecordingFaultParser(bool answer) : m_answer(answer) {}
    bool ParseFault(const char* data, size_t len) override {
        seen.assign(data, len);
        return m_answer;
    }
    std::string seen;

private:
    bool m_answer;
};

TEST(SoapHttpClient, JudgesTheAnswer) {
    struct {
        const char* response;
        soap::Status status;
        SoapClientError code;
    } table[] = {
        {"HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\n<x>", soap::kStatusOk, SOAPCLIENT_SUCCESS},
        {"HTTP/1.1 202 Accepted\r\nContent-Length: 0\r\n\r\n", soap::kStatusOk, SOAPCLIENT_SUCCESS},
        {"HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", soap::kStatusFail, SOAPCLIENT_READ_ERROR},
        {"HTTP/1.1 201 Created\r\nContent-Length: 0\r\n\r\n", soap::kStatusFail,
         SOAPCLIENT_SERVER_ERROR},
        {"HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n", soap::kStatusFail,
         SOAPCLIENT_SEND_ERROR},
        {"HTTP/1.1 500 Error\r\nContent-Length: 0\r\n\r\n", soap::kStatusFail, SOAPCLIENT_FAULT},
        {"HTTP/1.1 500 Error\r\nContent-Length: 4\r\n\r\n<f/>", soap::kStatusFail,
         SOAPCLIENT_FAULT},
        {"HTTP/1.1 401 Unauthorized\r\nContent-Length: 0\r\n\r\n", soap::kStatusFail,
         SOAPCLIENT_SEND_ERROR},
        {"HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\ncut", soap::kStatusFail,
         SOAPCLIENT_SEND_ERROR},
        {nullptr, soap::kStatusFail, SOAPCLIENT_SEND_ERROR},  // silence
    };
    for (const auto& row : table) {
        CScriptedConnection* wire = nullptr;
        auto client = Soap(row.response, &wire);
        EXPECT_EQ(client->PostSoapRequest("SOAPAction: \"\"\r\n"), row.status) << row.response;
        EXPECT_EQ(client->ResultCode(), row.code) << (row.response ? row.response : "silence");
    }
}

TEST(SoapHttpClient, FaultBodyGoesToTheFaultParser) {
    const char* fault = "HTTP/1.1 500 Error\r\nContent-Length: 7\r\n\r\n<fault>";
    for (bool parses : {true, false}) {
        CScriptedConnection* wire = nullptr;
        auto client = Soap(fault, &wire);
        RecordingFaultParser parser(parses);
        client->SetFaultParser(&parser);
        EXPECT_EQ(client->PostSoapRequest(""), soap::kStatusFail);
        EXPECT_EQ(parser.seen, "<fault>");
        EXPECT_EQ(client->ResultCode(), parses ? SOAPCLIENT_FAULT : SOAPCLIENT_PARSEFAULT_ERROR);
    }
    // An empty fault body is never handed on.
    CScriptedConnection* wire = nullptr;
    auto client = Soap("HTTP/1.1 500 Error\r\nContent-Length: 0\r\n\r\n", &wire);
    RecordingFaultParser parser(false);
    client->SetFaultParser(&parser);
    client->PostSoapRequest("");
    EXPECT_EQ(client->ResultCode(), SOAPCLIENT_FAULT);
}

TEST(SoapHttpClient, UnparsableEndpointFailsEveryCall) {
    CScriptedConnection* wire = nullptr;
    auto client = Soap(kOk, &wire, "http://h:99999/");
    EXPECT_EQ(client->EndpointUrl().Host(), "");
    EXPECT_EQ(client->PostSoapRequest(""), soap::kStatusFail);
    EXPECT_EQ(client->ResultCode(), SOAPCLIENT_SEND_ERROR);
    EXPECT_EQ(wire->connects, 0);
}

}  // namespace
