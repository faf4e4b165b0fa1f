#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/support/scripted_connection.h"
#include "transport/http_client.h"
#include "transport/http_request.h"
#include "transport/soap_http_client.h"

namespace {

CHttpUrl Url(const char* text) {
    CHttpUrl url;
    EXPECT_TRUE(url.SetUrl(text));
    return url;
}

TEST(RequestText, SoapPostByteForByte) {
    const std::string envelope = "<soap:Envelope>...</soap:Envelope>";
    auto connection = std::make_unique<CScriptedConnection>();
    CScriptedConnection* wire = connection.get();
    wire->Push("HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nabc");
    CSoapHttpClient client("http://www.example.net/CurrencyConvertor.asmx", std::move(connection));
    client.RequestText() = envelope;
    ASSERT_EQ(client.PostSoapRequest("SOAPAction: \"http://www.example.net/ConversionRate\"\r\n"),
              soap::kStatusOk);
    EXPECT_EQ(wire->written,
              "POST /CurrencyConvertor.asmx HTTP/1.1\r\n"
              "Content-Length: 34\r\n"
              "Content-Type: text/xml; charset=utf-8\r\n"
              "SOAPAction: \"http://www.example.net/ConversionRate\"\r\n"
              "Accept: text/xml\r\n"
              "Host: www.example.net\r\n"
              "User-Agent: Zelvane/2.0\r\n"
              "\r\n" +
                  envelope);
    EXPECT_EQ(wire->lastHost, "www.example.net");
    EXPECT_EQ(wire->lastPort, 80);
    // What is left of the exchange's 10 s when the last wait began.
    EXPECT_LE(wire->timeout, 10000u);
    EXPECT_GT(wire->timeout, 9000u);
    EXPECT_EQ(std::string(client.ResponseBody(), client.ResponseBodyLength()), "abc");
}

TEST(RequestText, PathlessEndpointOnOtherPort) {
    auto connection = std::make_unique<CScriptedConnection>();
    CScriptedConnection* wire = connection.get();
    wire->Push("HTTP/1.1 202 Accepted\r\nContent-Length: 0\r\n\r\n");
    CSoapHttpClient client("http://rates.example:8080", std::move(connection));
    client.RequestText() = "x";
    client.SetTimeout(1500);
    ASSERT_EQ(client.PostSoapRequest("SOAPAction: \"\"\r\n"), soap::kStatusOk);
    EXPECT_EQ(wire->written.substr(0, wire->written.find("\r\n") + 2), "POST / HTTP/1.1\r\n");
    EXPECT_NE(wire->written.find("\r\nHost: rates.example:8080\r\n"), std::string::npos);
    EXPECT_EQ(wire->lastPort, 8080);
    EXPECT_LE(wire->timeout, 1500u);
    EXPECT_GT(wire->timeout, 1000u);
}

TEST(RequestText, GetWithoutBodyOrContentLines) {
    std::string text;
    BuildRequestText("GET", Url("http://h/a/b?q=1#f"), 0, "", nullptr, &text);
    EXPECT_EQ(text, "GET /a/b?q=1#f HTTP/1.1\r\nHost: h\r\nUser-Agent: Zelvane/2.0\r\n\r\n");
    BuildRequestText("GET", Url("http://h:81/"), 0, nullptr, "X-A: 1\r\nX-B: 2\r\n", &text);
    EXPECT_EQ(text,
              "GET / HTTP/1.1\r\nX-A: 1\r\nX-B: 2\r\nHost: h:81\r\nUser-Agent: Zelvane/2.0\r\n\r\n");
}

TEST(RequestText, NoUrlPartCanBreakTheRequestLines) {
    // Parsed as given, not canonicalised: the writer alone must keep every
    // line break, control byte and space off the wire.
    const struct {
        const char* url;
        const char* lines;
    } table[] = {
        {"http://h/p?a\nSET k v\r\nQUIT", "GET /p?a%0aSET%20k%20v%0d%0aQUIT HTTP/1.1\r\nHost: h\r\n"},
        {"http://h\r\nX/p#f g\x7f\xff", "GET /p#f%20g%7f%ff HTTP/1.1\r\nHost: h%0d%0aX\r\n"},
        {"http://h/a\tb?q=\"<x>\"&b=1;c", "GET /a%09b?q=%22%3cx%3e%22&b=1;c HTTP/1.1\r\nHost: h\r\n"},
    };
    for (const auto& row : table) {
        CHttpUrl url;
        ASSERT_TRUE(url.Parse(row.url, std::strlen(row.url))) << row.url;
        std::string text;
        BuildRequestText("GET", url, 0, nullptr, nullptr, &text);
        EXPECT_EQ(text, std::string(row.lines) + "User-Agent: Zelvane/2.0\r\n\r\n") << row.url;
    }
}

TEST(RequestText, BodySentInBlocksOrGathered) {
    std::string body(10000, 'b');
    for (uint32_t flags : {kHttpSendInBlocks | kHttpCheckStatus, uint32_t{kHttpCheckStatus}}) {
        CScriptedConnection wire;
        wire.Push("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
        CHttpClient http(wire);
        HttpRequestOptions options;
        options.szMethod = "POST";
        options.pBody = body.data();
        options.nContentLength = static_cast<uint32_t>(body.size());
        options.dwFlags = flags;
        CHttpUrl url = Url("http://h/");
        ASSERT_TRUE(http.PerformRequest(&url, &options));
        EXPECT_EQ(wire.written.substr(wire.written.size() - body.size()), body);
    }
}

TEST(RequestText, ShortSendFailsAndCloses) {
    CScriptedConnection wire;
    wire.SetWriteLimit(100);
    CHttpClient http(wire);
    std::string body(500, 'b');
    HttpRequestOptions options;
    options.szMethod = "POST";
    options.pBody = body.data();
    options.nContentLength = 500;
    CHttpUrl url = Url("http://h/");
    EXPECT_FALSE(http.PerformRequest(&url, &options));
    EXPECT_EQ(wire.closes, 1);
    EXPECT_EQ(wire.reads, 0);
}

}  // namespace
