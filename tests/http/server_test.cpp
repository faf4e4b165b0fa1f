// The client against real servers on loopback: nginx for ordinary traffic
// and the scripted raw server (tests/servers/raw_server.py) for exact byte
// sequences. The same cases run natively over the POSIX socket and, in the
// Windows build under Wine, over Winsock.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "transport/event_socket.h"
#include "transport/http_client.h"
#include "transport/soap_http_client.h"

namespace {

uint16_t Port(const char* server) {
    const char* dir = std::getenv("ZELVANE_HTTP_SERVERS");
    if (!dir) {
        ADD_FAILURE() << "ZELVANE_HTTP_SERVERS is not set; run through ctest";
        return 1;
    }
    std::ifstream in(std::string(dir) + "/" + server + ".port");
    int port = 0;
    in >> port;
    EXPECT_GT(port, 0) << "no port published for " << server;
    return static_cast<uint16_t>(port);
}

std::string Url(const char* server, const std::string& path) {
    return "http://127.0.0.1:" + std::to_string(Port(server)) + path;
}

CHttpUrl ParsedUrl(const char* server, const std::string& path) {
    CHttpUrl url;
    EXPECT_TRUE(url.SetUrl(Url(server, path)));
    return url;
}

std::unique_ptr<CSoapHttpClient> Soap(const char* server, const std::string& path,
                                      uint32_t timeout = 0) {
    auto client = std::make_unique<CSoapHttpClient>(Url(server, path).c_str(),
                                                    std::make_unique<CEventSocket>());
    client->RequestText() = "<soap:Envelope>rate?</soap:Envelope>";
    client->SetTimeout(timeout);
    return client;
}

const char kAction[] = "SOAPAction: \"urn:test\"\r\n";

std::string Body(CHttpClient& http) { return std::string(http.BodyData(), http.BodyLength()); }
std::string Body(CSoapHttpClient& soap) {
    return std::string(soap.ResponseBody(), soap.ResponseBodyLength());
}
std::string Header(CHttpClient& http, const char* name) {
    const std::string* value = http.FindHeader(name);
    return value ? *value : "<absent>";
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Whether path exists before the time is up.
bool FileAppears(const std::string& path, std::chrono::milliseconds within) {
    const auto deadline = std::chrono::steady_clock::now() + within;
    for (;;) {
        if (std::ifstream(path).good()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

TEST(NginxServer, KeepAliveReusesOneConnection) {
    CEventSocket socket;
    CHttpClient http(socket);
    CHttpUrl url = ParsedUrl("nginx", "/conn");
    std::string connection;
    for (int i = 1; i <= 3; ++i) {
        ASSERT_TRUE(http.PerformRequest(&url, nullptr)) << i;
        std::string body = Body(http);  // "<connection serial> <request number on it>"
        std::string serial = body.substr(0, body.find(' '));
        if (i == 1) connection = serial;
        EXPECT_EQ(serial, connection);
        EXPECT_EQ(body.substr(body.find(' ') + 1), std::to_string(i));
    }
    EXPECT_TRUE(socket.IsConnected());
}

TEST(NginxServer, ContentLengthBodyOverManyReads) {
    CEventSocket socket;
    CHttpClient http(socket);
    CHttpUrl url = ParsedUrl("nginx", "/big.txt");
    ASSERT_TRUE(http.PerformRequest(&url, nullptr));
    EXPECT_EQ(Header(http, "content-length"), "100000");
    ASSERT_EQ(http.BodyLength(), 100000u);
    std::string expected;
    for (int i = 0; i < 100000; ++i) expected += static_cast<char>(48 + i % 75);
    EXPECT_TRUE(Body(http) == expected);
}

TEST(NginxServer, AbsoluteAndRelativeRedirects) {
    CEventSocket socket;
    CHttpClient http(socket);
    for (const char* path : {"/old", "/relative"}) {
        CHttpUrl url = ParsedUrl("nginx", path);
        ASSERT_TRUE(http.PerformRequest(&url, nullptr)) << path;
        EXPECT_EQ(http.StatusCode(), 200);
        EXPECT_EQ(http.RedirectsFollowed(), 1);
        EXPECT_EQ(http.CurrentUrl().Path(), "/conn");
    }
}

TEST(NginxServer, SoapPostAndMissingPage) {
    auto ok = Soap("nginx", "/soap");
    ASSERT_EQ(ok->PostSoapRequest(kAction), soap::kStatusOk);
    EXPECT_EQ(Body(*ok), "<soap:Envelope/>");
    auto missing = Soap("nginx", "/no/such/page");
    EXPECT_EQ(missing->PostSoapRequest(kAction), soap::kStatusFail);
    EXPECT_EQ(missing->ResultCode(), SOAPCLIENT_SEND_ERROR);
    EXPECT_EQ(missing->Http().StatusCode(), 404);
}

class RawServer : public ::testing::Test {
protected:
    bool Get(const char* path, uint32_t timeout = 3000) {
        CHttpUrl url = ParsedUrl("raw", path);
        HttpRequestOptions options;
        options.dwTimeout = timeout;
        return http.PerformRequest(&url, &options);
    }
    CEventSocket socket;
    CHttpClient http{socket};
};

TEST_F(RawServer, ContinueThenFinalAnswer) {
    ASSERT_TRUE(Get("/continue"));
    EXPECT_EQ(http.StatusCode(), 200);
    EXPECT_EQ(Body(http), "hello");
    EXPECT_EQ(Header(http, "X-Final"), "yes");
}

TEST_F(RawServer, HeaderBlockOddities) {
    ASSERT_TRUE(Get("/duplicates"));
    EXPECT_EQ(Header(http, "set-cookie"), "a=1,b=2");
    ASSERT_TRUE(Get("/longname"));
    EXPECT_EQ(Header(http, std::string(1024, 'N').c_str()), "<absent>");
    EXPECT_EQ(Header(http, "X-After"), "kept");
    EXPECT_EQ(Body(http), "<l/>");
}

TEST_F(RawServer, ChunkedBodies) {
    ASSERT_TRUE(Get("/abcd"));
    EXPECT_EQ(Body(http), "abcd");
    EXPECT_EQ(http.BodyLength(), 4u);
    ASSERT_TRUE(Get("/trailers"));
    EXPECT_EQ(Body(http), "hello world");
    EXPECT_EQ(Header(http, "X-Checksum"), "42");
    EXPECT_TRUE(socket.IsConnected());
    // "Chunked" is not "chunked": the framing stays in the body, read until close.
    ASSERT_TRUE(Get("/capital-chunked"));
    EXPECT_EQ(Body(http), "4\r\nabcd\r\n0\r\n\r\n");
    EXPECT_FALSE(socket.IsConnected());
}

TEST_F(RawServer, NoLengthOnKeptConnectionEndsAtTheTimeout) {
    auto start = std::chrono::steady_clock::now();
    auto client = Soap("raw", "/nolength", 1000);
    ASSERT_EQ(client->PostSoapRequest(kAction), soap::kStatusOk);
    double seconds = SecondsSince(start);
    EXPECT_EQ(Body(*client), "<partial/>");
    EXPECT_GE(seconds, 0.9);
    EXPECT_LT(seconds, 5.0);
}

TEST_F(RawServer, NoLengthWaitsTheDefaultTenSeconds) {
    auto start = std::chrono::steady_clock::now();
    auto client = Soap("raw", "/nolength");
    ASSERT_EQ(client->PostSoapRequest(kAction), soap::kStatusOk);
    double seconds = SecondsSince(start);
    EXPECT_EQ(Body(*client), "<partial/>");
    EXPECT_GE(seconds, 9.5);
    EXPECT_LT(seconds, 15.0);
}

TEST_F(RawServer, IdleCloseFailsOnceThenReconnects) {
    const char* dir = std::getenv("ZELVANE_HTTP_SERVERS");
    ASSERT_NE(dir, nullptr);
    const std::string tag = "idle-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
    auto client = Soap("raw", "/count/" + tag + "/idle", 3000);
    ASSERT_EQ(client->PostSoapRequest(kAction), soap::kStatusOk);
    EXPECT_EQ(Body(*client), "<idle/>");
    // The server hangs up a moment after its answer.
    ASSERT_TRUE(FileAppears(std::string(dir) + "/closed-" + tag, std::chrono::seconds(10))) << "still open";
    EXPECT_EQ(client->PostSoapRequest(kAction), soap::kStatusFail);
    EXPECT_EQ(client->ResultCode(), SOAPCLIENT_SEND_ERROR);
    ASSERT_EQ(client->PostSoapRequest(kAction), soap::kStatusOk);
    EXPECT_EQ(client->ResultCode(), SOAPCLIENT_SUCCESS);
}

TEST_F(RawServer, BytesPastTheLengthEndTheConnection) {
    const char* dir = std::getenv("ZELVANE_HTTP_SERVERS");
    ASSERT_NE(dir, nullptr);
    const std::string tag = "overlong-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
    const std::string path = "/count/" + tag + "/overlong";
    for (int i = 1; i <= 2; ++i) {
        ASSERT_TRUE(Get(path.c_str())) << i;
        EXPECT_EQ(Body(http), "hello") << i;
        EXPECT_FALSE(socket.IsConnected()) << i;
        // Where on its connection the server saw this request: 1 on a new one.
        std::ifstream served(std::string(dir) + "/served-" + tag);
        int seen = 0;
        served >> seen;
        EXPECT_EQ(seen, 1) << i;
    }
}

TEST_F(RawServer, SilentServerTimesOut) {
    auto start = std::chrono::steady_clock::now();
    auto client = Soap("raw", "/silent", 1000);
    EXPECT_EQ(client->PostSoapRequest(kAction), soap::kStatusFail);
    double seconds = SecondsSince(start);
    EXPECT_EQ(client->ResultCode(), SOAPCLIENT_SEND_ERROR);
    EXPECT_EQ(client->Http().StatusCode(), -1);
    EXPECT_GE(seconds, 0.9);
    EXPECT_LT(seconds, 5.0);
}

TEST_F(RawServer, RedirectLoopIsBounded) {
    auto client = Soap("raw", "/loop");
    EXPECT_EQ(client->PostSoapRequest(kAction), soap::kStatusFail);
    EXPECT_EQ(client->ResultCode(), SOAPCLIENT_SEND_ERROR);
    EXPECT_EQ(client->Http().StatusCode(), 302);
    // The first answer and ten redirected ones, all on one connection.
    EXPECT_EQ(Header(client->Http(), "X-Hop"), "11");
}

TEST_F(RawServer, RedirectedPostSendsItsBodyAgain) {
    auto client = Soap("raw", "/redirect-post");
    ASSERT_EQ(client->PostSoapRequest(kAction), soap::kStatusOk);
    EXPECT_EQ(Body(*client), client->RequestText());
    EXPECT_EQ(Header(client->Http(), "X-Method"), "POST");
    EXPECT_EQ(Header(client->Http(), "X-Requests"), "2");
}

TEST_F(RawServer, OversizedResponsesAreCapped) {
    for (const char* path : {"/big-length", "/big-close", "/big-chunk"}) {
        auto client = Soap("raw", path, 5000);
        EXPECT_EQ(client->PostSoapRequest(kAction), soap::kStatusFail) << path;
        EXPECT_EQ(client->ResultCode(), SOAPCLIENT_SEND_ERROR) << path;
    }
}

TEST_F(RawServer, DrippingServerIsCutAtTheDeadline) {
    // A byte every half second against a 1 s time-out: each wait is served
    // in time, the exchange as a whole (10 s of drip) must not be.
    for (const char* path : {"/drip/20", "/drip-chunk-ext/20", "/redirect-drip/20"}) {
        auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(Get(path, 1000)) << path;
        double seconds = SecondsSince(start);
        EXPECT_GE(seconds, 0.9) << path;
        EXPECT_LT(seconds, 2.5) << path;
    }
}

TEST_F(RawServer, RedirectThatWouldWriteLinesOfItsOwnIsRefused) {
    // The server counts a followed redirect under its tag: the clean
    // Location shows the count would be seen.
    const char* dir = std::getenv("ZELVANE_HTTP_SERVERS");
    ASSERT_NE(dir, nullptr);
    const std::string run = std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
    for (const char* kind : {"lf", "folded", "space", "tab", "clean"}) {
        const std::string tag = "inject-" + run + "-" + kind;
        const bool clean = std::string(kind) == "clean";
        EXPECT_EQ(Get(("/redirect-inject/" + tag + "/" + kind).c_str()), clean) << kind;
        EXPECT_EQ(http.StatusCode(), clean ? 202 : 302) << kind;
        EXPECT_EQ(std::ifstream(std::string(dir) + "/count-" + tag).good(), clean) << kind;
    }
}

TEST_F(RawServer, TruncatedAnswerAfterARedirectFails) {
    EXPECT_FALSE(Get("/redirect-truncated"));
    auto client = Soap("raw", "/redirect-truncated", 3000);
    EXPECT_EQ(client->PostSoapRequest(kAction), soap::kStatusFail);
    EXPECT_EQ(client->ResultCode(), SOAPCLIENT_SEND_ERROR);
}

class RecordingFaultParser : public ISoapFaultParser {
public:
    bool ParseFault(const char* data, size_t len) override {
        seen.assign(data, len);
        return true;
    }
    std::string seen;
};

TEST_F(RawServer, StatusMapping) {
    const struct {
        const char* path;
        SoapClientError code;
    } table[] = {
        {"/status/201", SOAPCLIENT_SERVER_ERROR}, {"/status/404", SOAPCLIENT_SEND_ERROR},
        {"/status/500", SOAPCLIENT_FAULT},        {"/status/500-fault", SOAPCLIENT_FAULT},
        {"/status/200", SOAPCLIENT_READ_ERROR},   {"/status/202", SOAPCLIENT_SUCCESS},
    };
    for (const auto& row : table) {
        auto client = Soap("raw", row.path);
        RecordingFaultParser faults;
        client->SetFaultParser(&faults);
        client->PostSoapRequest(kAction);
        EXPECT_EQ(client->ResultCode(), row.code) << row.path;
        EXPECT_EQ(faults.seen, std::string(row.path) == "/status/500-fault" ? "<soap:Fault/>" : "")
            << row.path;
    }
}

TEST(EventSocket, WriteWithoutConnectionFails) {
    CEventSocket socket;
    socket.SetTimeout(200);
    ConstBuffer buffer = {"x", 1};
    size_t sent = 99;
    EXPECT_FALSE(socket.Write(&buffer, 1, &sent));
    EXPECT_EQ(sent, 0u);
    EXPECT_EQ(socket.LastError(), kWsaNotConnected);
}

TEST(EventSocket, RefusedThenConnectsWithTheSameObject) {
    CEventSocket socket;
    EXPECT_FALSE(socket.ConnectTo("127.0.0.1", Port("closed")));
    EXPECT_EQ(socket.LastError(), 10061);  // WSAECONNREFUSED
    EXPECT_TRUE(socket.ConnectTo("127.0.0.1", Port("raw")));
    // Connected: another host is not even looked at.
    EXPECT_TRUE(socket.ConnectTo("198.51.100.7", 9));
}

TEST(EventSocket, PeerCloseReadsZeroAndTimeoutStoresNothing) {
    CEventSocket socket;
    socket.SetTimeout(300);
    ASSERT_TRUE(socket.ConnectTo("127.0.0.1", Port("raw")));
    std::string request = "GET /silent HTTP/1.1\r\nHost: x\r\n\r\n";
    ConstBuffer buffer = {request.data(), request.size()};
    size_t sent = 0;
    ASSERT_TRUE(socket.Write(&buffer, 1, &sent));
    EXPECT_EQ(sent, request.size());
    char data[64];
    size_t size = sizeof data;
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(socket.Read(data, &size));  // the silent server: time-out
    EXPECT_GE(SecondsSince(start), 0.25);
    EXPECT_EQ(socket.LastError(), 0);
    socket.Close();

    CEventSocket other;
    other.SetTimeout(3000);
    ASSERT_TRUE(other.ConnectTo("127.0.0.1", Port("raw")));
    request = "GET /idle HTTP/1.1\r\nHost: x\r\n\r\n";
    buffer = {request.data(), request.size()};
    ASSERT_TRUE(other.Write(&buffer, 1, &sent));
    std::string received;
    for (int i = 0; i < 100; ++i) {
        size = sizeof data;
        ASSERT_TRUE(other.Read(data, &size));
        if (size == 0) break;
        received.append(data, size);
    }
    EXPECT_EQ(size, 0u);
    EXPECT_NE(received.find("<idle/>"), std::string::npos);
}

}  // namespace
