// zelvane-ratesvc over loopback, spoken to with the program's own request
// bytes: the envelopes, header lines and SOAPAction values its two rate
// clients write. The same tests run against the Windows build under Wine.
#ifdef _WIN32
#include <winsock2.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "service_process.h"

namespace {

#ifdef _WIN32
using Socket = SOCKET;
constexpr int MSG_NOSIGNAL = 0;
int close(SOCKET s) { return closesocket(s); }
int poll(pollfd* p, ULONG n, int ms) { return WSAPoll(p, n, ms); }
bool WasReset() { return WSAGetLastError() == WSAECONNRESET || WSAGetLastError() == WSAECONNABORTED; }
const bool g_winsock = [] {
    WSADATA wsa;
    return WSAStartup(MAKEWORD(2, 2), &wsa) == 0;
}();
#else
using Socket = int;
bool WasReset() { return errno == ECONNRESET; }
#endif

constexpr char kEnvelopeStart[] =
    "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\" "
    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
    "xmlns:soapenc=\"http://schemas.xmlsoap.org/soap/encoding/\">";
constexpr char kConversionPath[] = "/CurrencyConvertor.asmx";
constexpr char kConversionAction[] = "\"http://zelvane.morvast.example/ConversionRate\"";
constexpr char kExchangePath[] = "/soap";
constexpr char kExchangeAction[] = "\"\"";

std::string ConversionRateEnvelope(const std::string& from, const std::string& to) {
    return std::string(kEnvelopeStart) +
           "<soap:Body><ConversionRate xmlns=\"http://zelvane.morvast.example/\"><FromCurrency>" + from +
           "</FromCurrency><ToCurrency>" + to + "</ToCurrency></ConversionRate></soap:Body></soap:Envelope>";
}

std::string GetRateEnvelope(const std::string& country1, const std::string& country2) {
    return std::string(kEnvelopeStart) +
           "<soap:Body soap:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\">"
           "<snp:getRate xmlns:snp=\"urn:xmethods-CurrencyExchange\"><country1>" + country1 +
           "</country1><country2>" + country2 + "</country2></snp:getRate></soap:Body></soap:Envelope>";
}

// One chunk of a chunked body.
std::string Chunk(const std::string& data) {
    char size[16];
    std::snprintf(size, sizeof size, "%zx\r\n", data.size());
    return size + data + "\r\n";
}

std::string Post(const std::string& path, const std::string& action, const std::string& body, int port) {
    return "POST " + path + " HTTP/1.1\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nContent-Type: text/xml; charset=utf-8\r\nSOAPAction: " + action +
           "\r\nAccept: text/xml\r\nHost: 127.0.0.1:" + std::to_string(port) +
           "\r\nUser-Agent: Zelvane/2.0\r\n\r\n" + body;
}

// Rates chosen so that the answers are exact in binary: USD->JPY 117.25,
// TRY->TRL 1e6, NZD->USD 1.25.
const char kRates[] =
    "<gesmes:Envelope xmlns:gesmes='http://www.gesmes.org/xml/2002-08-01' "
    "xmlns='http://www.ecb.int/vocabulary/2002-08-01/eurofxref'><Cube><Cube time='2024-03-01'>"
    "<Cube currency='USD' rate='2'/><Cube currency='JPY' rate='234.5'/><Cube currency='TRY' rate='40'/>"
    "<Cube currency='TRL' rate='40000000'/><Cube currency='NZD' rate='1.6'/><Cube currency='MWK' rate='2000'/>"
    "</Cube></Cube></gesmes:Envelope>";

struct Response {
    int nStatus = -1;  // -1: the server closed without a status line
    std::string strHeaders;
    std::string strBody;
};

class Connection {
public:
    explicit Connection(int port) : m_port(port) {
        m_fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(static_cast<uint16_t>(port));
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        m_bConnected = connect(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    }
    ~Connection() { close(m_fd); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool Connected() const { return m_bConnected; }
    int Port() const { return m_port; }

    bool Send(const std::string& bytes) {
        return send(m_fd, bytes.data(), static_cast<int>(bytes.size()), MSG_NOSIGNAL) == static_cast<int>(bytes.size());
    }

    // One response, read by its Content-Length (the service always sends one).
    // nullopt on a time-out.
    std::optional<Response> Receive() {
        Response r;
        std::string data;
        size_t headerEnd;
        while ((headerEnd = data.find("\r\n\r\n")) == std::string::npos) {
            const int got = ReadSome(data);
            if (got < 0) return std::nullopt;
            if (got == 0) return r;  // closed
        }
        r.strHeaders = data.substr(0, headerEnd + 2);
        std::sscanf(r.strHeaders.c_str(), "HTTP/1.%*d %d", &r.nStatus);
        std::smatch m;
        if (!std::regex_search(r.strHeaders, m, std::regex("\r\nContent-Length: *([0-9]+)\r\n", std::regex::icase)))
            return r;
        const size_t length = std::stoul(m[1]);
        r.strBody = data.substr(headerEnd + 4);
        while (r.strBody.size() < length) {
            const int got = ReadSome(r.strBody);
            if (got <= 0) return got < 0 ? std::nullopt : std::optional<Response>(r);
        }
        return r;
    }

    std::optional<Response> Call(const std::string& path, const std::string& action, const std::string& body) {
        if (!Send(Post(path, action, body, m_port))) return std::nullopt;
        return Receive();
    }

    // Everything the server sends until it closes; false on a time-out.
    bool ReadUntilClosed(std::string& all) {
        for (;;) {
            const int got = ReadSome(all);
            if (got == 0) return true;
            if (got < 0) return errno != ETIMEDOUT;
        }
    }

    // True when the server closes the connection (an orderly close or a reset)
    // within the time-out, whatever it sent before.
    bool ClosedByServer() {
        std::string ignored;
        for (;;) {
            const int got = ReadSome(ignored);
            if (got == 0) return true;
            if (got < 0) return errno != ETIMEDOUT;
        }
    }

private:
    int ReadSome(std::string& into) {
        pollfd p{m_fd, POLLIN, 0};
        if (poll(&p, 1, 5000) != 1) {
            errno = ETIMEDOUT;
            return -1;
        }
        char buf[4096];
        errno = 0;
        const auto n = recv(m_fd, buf, sizeof buf, 0);
        if (n < 0) return WasReset() ? 0 : -1;
        into.append(buf, static_cast<size_t>(n));
        return static_cast<int>(n);
    }

    Socket m_fd;
    int m_port = 0;
    bool m_bConnected = false;
};

// The text of the first element with this local name, whatever its prefix.
std::optional<std::string> ElementText(const std::string& xml, const std::string& localName) {
    std::smatch m;
    if (!std::regex_search(xml, m, std::regex("<(?:[A-Za-z_][-.\\w]*:)?" + localName + "(?:\\s[^>]*)?>([^<]*)</")))
        return std::nullopt;
    return m[1].str();
}

double NumberIn(const Response& r, const std::string& localName) {
    const auto text = ElementText(r.strBody, localName);
    if (!text) {
        ADD_FAILURE() << "no " << localName << " in " << r.strBody;
        return -1;
    }
    return std::stod(*text);
}

// The fault's code as local name ("Client"), checked to use the prefix that
// the response binds to the SOAP 1.1 envelope namespace, as the program's
// fault reader demands.
std::string FaultCode(const Response& r) {
    std::smatch m;
    if (!std::regex_search(r.strBody, m, std::regex("xmlns:([-.\\w]+)=\"http://schemas.xmlsoap.org/soap/envelope/\"")))
        return "no SOAP 1.1 envelope prefix in: " + r.strBody;
    const std::string prefix = m[1];
    const auto code = ElementText(r.strBody, "faultcode");
    if (!code || code->compare(0, prefix.size() + 1, prefix + ":") != 0) return "bad faultcode in: " + r.strBody;
    return code->substr(prefix.size() + 1);
}

class RatesvcServer : public testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = MakeTestDir("zelvane-ratesvc-server");
        s_rates = s_dir + "/rates.xml";
        WriteRates(kRates);
        StartService(s_dir, s_rates, {}, s_pid, s_port, s_dir + "/service.log");
    }

    static void TearDownTestSuite() {
        if (s_pid > 0) StopService(s_pid);
        std::error_code ec;
        std::filesystem::remove_all(s_dir, ec);
    }

    static void WriteRates(const std::string& text) {
        std::ofstream(s_rates + ".new") << text;
        std::filesystem::rename(s_rates + ".new", s_rates);  // replaces it on Windows too
    }

    static Response MustCall(const std::string& path, const std::string& action, const std::string& body) {
        Connection c(s_port);
        EXPECT_TRUE(c.Connected());
        auto r = c.Call(path, action, body);
        EXPECT_TRUE(r) << "no response in time";
        return r.value_or(Response{});
    }
    static Response Convert(const std::string& from, const std::string& to) {
        return MustCall(kConversionPath, kConversionAction, ConversionRateEnvelope(from, to));
    }
    static Response Exchange(const std::string& country1, const std::string& country2) {
        return MustCall(kExchangePath, kExchangeAction, GetRateEnvelope(country1, country2));
    }

    static inline pid_t s_pid = 0;
    static inline int s_port = 0;
    static inline std::string s_dir, s_rates;
};

TEST_F(RatesvcServer, ConversionRateAnswersUsdToJpy) {
    const Response r = Convert("USD", "JPY");
    ASSERT_EQ(r.nStatus, 200) << r.strHeaders << r.strBody;
    EXPECT_EQ(NumberIn(r, "ConversionRateResult"), 117.25);
    EXPECT_NE(r.strHeaders.find("\r\nKeep-Alive: timeout=600,"), std::string::npos) << r.strHeaders;
    // The program's reader fails on any other element inside the wrapper.
    EXPECT_TRUE(std::regex_search(
        r.strBody, std::regex("<SOAP-ENV:Body><(\\w+:)?ConversionRateResponse><(\\w+:)?ConversionRateResult>[^<]*"
                              "</(\\w+:)?ConversionRateResult></(\\w+:)?ConversionRateResponse></SOAP-ENV:Body>")))
        << r.strBody;
}

TEST_F(RatesvcServer, ConversionRateTakesTryAndTrl) {
    EXPECT_EQ(NumberIn(Convert("TRY", "TRL"), "ConversionRateResult"), 1e6);
    EXPECT_DOUBLE_EQ(NumberIn(Convert("TRL", "USD"), "ConversionRateResult"), 5e-8);
}

TEST_F(RatesvcServer, GetRateTakesTheProgramsCountryNames) {
    const Response r = Exchange("usa", "japan");
    ASSERT_EQ(r.nStatus, 200) << r.strBody;
    EXPECT_EQ(NumberIn(r, "Result"), 117.25);
    EXPECT_TRUE(std::regex_search(r.strBody, std::regex("<(\\w+:)?getRateResponse><Result>[^<]*</Result></(\\w+:)?getRateResponse>")))
        << r.strBody;
    EXPECT_EQ(NumberIn(Exchange("new Zealand", "usa"), "Result"), 1.25);
    EXPECT_FLOAT_EQ(static_cast<float>(NumberIn(Exchange("malawi kwacha", "usa"), "Result")), 0.001f);
    // "turkey" is the new lira: 2 / 40, where the old one would give 5e-8.
    EXPECT_FLOAT_EQ(static_cast<float>(NumberIn(Exchange("turkey", "usa"), "Result")), 0.05f);
}

TEST_F(RatesvcServer, UnknownNamesAndMissingRatesAreFaults) {
    const Response empty = Exchange("", "usa");  // index 6 sends an empty element
    EXPECT_EQ(empty.nStatus, 500);
    EXPECT_EQ(FaultCode(empty), "Client");
    EXPECT_NE(ElementText(empty.strBody, "faultstring").value_or("").find("country"), std::string::npos) << empty.strBody;

    EXPECT_EQ(FaultCode(Exchange("usa", "New Zealand")), "Client");  // the program sends a lower-case n

    const Response unknown = Convert("USD", "XYZ");
    EXPECT_EQ(unknown.nStatus, 500);
    EXPECT_EQ(FaultCode(unknown), "Client");
    EXPECT_NE(ElementText(unknown.strBody, "faultstring").value_or("").find("XYZ"), std::string::npos);

    const Response noRate = Convert("BSD", "USD");  // a listed currency this file has no rate for
    EXPECT_EQ(noRate.nStatus, 500);
    EXPECT_EQ(FaultCode(noRate), "Server");

    EXPECT_EQ(FaultCode(MustCall(kExchangePath, kConversionAction, ConversionRateEnvelope("USD", "JPY"))), "Client");
    EXPECT_EQ(FaultCode(MustCall(kConversionPath, kExchangeAction, GetRateEnvelope("usa", "japan"))), "Client");
}

TEST_F(RatesvcServer, KeepsTheConnectionAliveBetweenCalls) {
    Connection c(s_port);
    ASSERT_TRUE(c.Connected());
    for (int i = 0; i < 3; ++i) {
        const auto a = c.Call(kConversionPath, kConversionAction, ConversionRateEnvelope("USD", "JPY"));
        ASSERT_TRUE(a);
        EXPECT_EQ(NumberIn(*a, "ConversionRateResult"), 117.25);
        const auto b = c.Call(kExchangePath, kExchangeAction, GetRateEnvelope("usa", "japan"));
        ASSERT_TRUE(b);
        EXPECT_EQ(NumberIn(*b, "Result"), 117.25);
    }
}

TEST_F(RatesvcServer, MalformedRequestsGetFaultsAndTheServiceGoesOn) {
    const std::string good = ConversionRateEnvelope("USD", "JPY");
    std::string garbage;
    for (int i = 0; i < 3000; ++i) garbage += static_cast<char>((i * 7919) & 0xFF);
    const std::string requests[] = {
        Post(kConversionPath, kConversionAction, good.substr(0, good.size() - 30), s_port),  // XML cut short
        Post(kExchangePath, kExchangeAction, std::regex_replace(GetRateEnvelope("usa", "japan"), std::regex("getRate"), "getQuote"), s_port),
        Post(kConversionPath, kConversionAction, "<ConversionRate><FromCurrency>USD</FromCurrency></ConversionRate>", s_port),
        Post(kConversionPath, kConversionAction, garbage, s_port),
        Post(kConversionPath, kConversionAction, "", s_port),
        garbage,
        "POST /soap HTTP/1.1\r\nContent-Length: 5\r\n\r\n<a><b",
    };
    for (const std::string& request : requests) {
        Connection c(s_port);
        ASSERT_TRUE(c.Connected());
        ASSERT_TRUE(c.Send(request));
        const auto r = c.Receive();
        ASSERT_TRUE(r) << "no answer and no close: " << request.substr(0, 200);
        if (r->nStatus != -1) {
            EXPECT_GE(r->nStatus, 400) << request.substr(0, 200);
            EXPECT_EQ(FaultCode(*r), "Client") << request.substr(0, 200);
        }
        EXPECT_TRUE(c.ClosedByServer());
    }
    // A client that hangs up in the middle of a request costs nothing either.
    {
        Connection c(s_port);
        ASSERT_TRUE(c.Send(Post(kConversionPath, kConversionAction, good, s_port).substr(0, 250)));
    }
    EXPECT_EQ(NumberIn(Convert("USD", "JPY"), "ConversionRateResult"), 117.25);
}

TEST_F(RatesvcServer, AnswersFromANewRatesFileAndKeepsTheLastGoodOne) {
    std::string changed = kRates;
    changed.replace(changed.find("234.5"), 5, "235.5");
    WriteRates(changed);
    EXPECT_EQ(NumberIn(Convert("USD", "JPY"), "ConversionRateResult"), 117.75);
    WriteRates("<gesmes:Envelope");  // half a file
    EXPECT_EQ(NumberIn(Exchange("usa", "japan"), "Result"), 117.75);
    WriteRates(kRates);
    EXPECT_EQ(NumberIn(Convert("USD", "JPY"), "ConversionRateResult"), 117.25);
}

TEST_F(RatesvcServer, RefusedFilesKeepTheRatesAndForgeNoLogLine) {
    auto with = [](const char* from, const std::string& to) {
        std::string text = kRates;
        return text.replace(text.find(from), std::strlen(from), to);
    };
    const char forged[] = "&#10;zelvane-ratesvc: forged";
    const struct {
        const char* what;
        std::string xml;
        const char* logged;
    } files[] = {
        {"older", with("2024-03-01", "2024-02-29"), "before the rates in force"},
        {"thinner", with("<Cube currency='TRY' rate='40'/><Cube currency='TRL' rate='40000000'/><Cube currency='NZD' rate='1.6'/>"
                          "<Cube currency='MWK' rate='2000'/>", ""),
         "only 2 of the 6 currencies"},
        {"absurd", with("rate='2'/><Cube currency='JPY' rate='234.5'", "rate='1e-300'/><Cube currency='JPY' rate='1e300'"),
         "not a plausible number"},
        {"line break in the date", with("2024-03-01", std::string("2024-03-01") + forged), "not a YYYY-MM-DD date"},
        {"line break in a code", with("'MWK'", std::string("'U") + forged + "'"), "not a three-letter code"},
    };
    for (const auto& f : files) {
        WriteRates(f.xml);
        EXPECT_EQ(NumberIn(Convert("USD", "JPY"), "ConversionRateResult"), 117.25) << f.what;
        std::ostringstream text;
        text << std::ifstream(s_dir + "/service.log").rdbuf();
        const std::string log = "\n" + text.str();
        EXPECT_NE(log.find(f.logged), std::string::npos) << f.what << ": " << log;
        EXPECT_NE(log.find("keeping the rates of 2024-03-01"), std::string::npos) << f.what;
        EXPECT_EQ(log.find("\nzelvane-ratesvc: forged"), std::string::npos) << f.what << ": " << log;
    }
}

TEST_F(RatesvcServer, BoundsEachRequestAndTheFaultItGets) {
    const std::string head = std::string("POST ") + kConversionPath + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(s_port) + "\r\nSOAPAction: " +
                             kConversionAction + "\r\nContent-Type: text/xml\r\n";
    const std::string opening = ConversionRateEnvelope("", "JPY").substr(0, ConversionRateEnvelope("", "JPY").find("</From"));
    const std::string lead = opening.substr(0, opening.find("<FromCurrency>"));
    const struct {
        const char* what;
        std::string request;
        const char* fault;  // in the faultstring
    } requests[] = {
        {"300 MiB announced", head + "Content-Length: 314572800\r\n\r\n" + opening + std::string(1000, 'A'), "larger than 65536"},
        // Chunks that gSOAP takes one by one, of white space it skips, so
        // only the size bound can end them.
        {"chunked past the bound",
         head + "Transfer-Encoding: chunked\r\n\r\n" + Chunk(lead) + Chunk(std::string(30000, ' ')) +
             Chunk(std::string(30000, ' ')) + Chunk(std::string(30000, ' ')),
         "larger than 65536"},
        // gSOAP refuses this chunk's size itself, in words that depend on how
        // much of it had arrived: only a short Client fault is certain.
        {"one chunk past the bound", head + "Transfer-Encoding: chunked\r\n\r\n100000\r\n" + opening + std::string(70000, 'A'),
         ""},
        {"long code", Post(kConversionPath, kConversionAction, ConversionRateEnvelope(std::string(60000, 'A'), "JPY"), s_port), ""},
        {"hostile code", Post(kConversionPath, kConversionAction, ConversionRateEnvelope("B&#10;&#27;", "JPY"), s_port),
         "Unknown currency code \"B\\x0A\\x1B\""},
        {"a status line for a request line", std::string("X 399\r\n\r\n<a>\x01forged</a>"), ""},
        {"a negative length", head + "Content-Length: -97\r\n\r\n" + opening, "Content-Length is not a number"},
        {"a status line with a negative length", "X 399\r\nContent-Length: -97\r\n\r\n<a/>", "Content-Length is not a number"},
        {"long hostile code", Post(kConversionPath, kConversionAction, ConversionRateEnvelope(std::string(200, 'B') + "&#10;", "JPY"), s_port),
         "Unknown currency code"},
    };
    for (const auto& r : requests) {
        Connection c(s_port);
        ASSERT_TRUE(c.Send(r.request)) << r.what;
        const auto answer = c.Receive();
        ASSERT_TRUE(answer) << r.what << ": no answer in time";
        EXPECT_EQ(answer->nStatus, 500) << r.what;
        EXPECT_EQ(FaultCode(*answer), "Client") << r.what;
        const std::string text = ElementText(answer->strBody, "faultstring").value_or("");
        EXPECT_NE(text.find(r.fault), std::string::npos) << r.what << ": " << text;
        EXPECT_LE(text.size(), 160u) << r.what;
        EXPECT_LT(answer->strBody.size(), 1024u) << r.what;
        for (char ch : text) EXPECT_TRUE(ch >= 0x20 && ch < 0x7F) << r.what << ": " << text;
    }
    EXPECT_EQ(NumberIn(Convert("USD", "JPY"), "ConversionRateResult"), 117.25);
}

TEST_F(RatesvcServer, SlowClientsLoseTheirConnectionIdleOnesKeepIt) {
    using Clock = std::chrono::steady_clock;
    pid_t pid = 0;
    int port = 0;
    StartService(s_dir, s_rates, {"--receive-timeout", "1", "--request-deadline", "2"}, pid, port);
    const std::string request = Post(kConversionPath, kConversionAction, ConversionRateEnvelope("USD", "JPY"), port);
    const auto closedWithin = [](Connection& c, std::chrono::seconds limit) {
        const auto start = Clock::now();
        return c.ClosedByServer() && Clock::now() - start < limit;
    };
    {
        Connection silent(port);
        EXPECT_TRUE(closedWithin(silent, std::chrono::seconds(4)));
    }
    {
        Connection stalled(port);
        ASSERT_TRUE(stalled.Send(request.substr(0, request.find("\r\n\r\n") + 4)));
        EXPECT_TRUE(closedWithin(stalled, std::chrono::seconds(3)));
    }
    {
        // A byte every 200 ms: within every receive time-out, but not the deadline.
        Connection trickle(port);
        const auto start = Clock::now();
        size_t sent = 0;
        while (sent < request.size() && Clock::now() - start < std::chrono::seconds(10) && trickle.Send(request.substr(sent, 1))) {
            ++sent;
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        EXPECT_LT(sent, request.size());
        EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
    }
    {
        Connection kept(port);
        const auto first = kept.Call(kConversionPath, kConversionAction, ConversionRateEnvelope("USD", "JPY"));
        ASSERT_TRUE(first);
        EXPECT_EQ(NumberIn(*first, "ConversionRateResult"), 117.25);
        std::this_thread::sleep_for(std::chrono::seconds(3));  // idle past the request deadline
        const auto second = kept.Call(kConversionPath, kConversionAction, ConversionRateEnvelope("USD", "JPY"));
        ASSERT_TRUE(second);
        EXPECT_EQ(NumberIn(*second, "ConversionRateResult"), 117.25);
    }
    StopService(pid);
}

TEST_F(RatesvcServer, ServesConversionRateInAnotherNamespaceWhenTold) {
    pid_t pid = 0;
    int port = 0;
    StartService(s_dir, s_rates, {"--namespace", "urn:elsewhere"}, pid, port);
    std::string envelope = ConversionRateEnvelope("USD", "JPY");
    envelope.replace(envelope.find("http://zelvane.morvast.example/"), 31, "urn:elsewhere");
    {
        Connection c(port);
        const auto moved = c.Call(kConversionPath, "\"urn:elsewhereConversionRate\"", envelope);
        ASSERT_TRUE(moved);
        EXPECT_EQ(NumberIn(*moved, "ConversionRateResult"), 117.25);
    }
    {
        Connection c(port);
        const auto old = c.Call(kConversionPath, kConversionAction, ConversionRateEnvelope("USD", "JPY"));
        ASSERT_TRUE(old);
        EXPECT_EQ(FaultCode(*old), "Client");
    }
    StopService(pid);
}

TEST_F(RatesvcServer, ServesClientsConcurrently) {
    constexpr int kClients = 8, kCalls = 25;
    std::vector<int> answered(kClients, 0);
    std::vector<std::thread> clients;
    for (int i = 0; i < kClients; ++i)
        clients.emplace_back([i, &answered] {
            Connection c(s_port);
            for (int n = 0; n < kCalls && c.Connected(); ++n) {
                const bool exchange = (n + i) % 2;
                const auto r = exchange ? c.Call(kExchangePath, kExchangeAction, GetRateEnvelope("usa", "japan"))
                                        : c.Call(kConversionPath, kConversionAction, ConversionRateEnvelope("USD", "JPY"));
                if (r && r->nStatus == 200 && ElementText(r->strBody, exchange ? "Result" : "ConversionRateResult") == "117.25")
                    ++answered[i];
            }
        });
    for (auto& t : clients) t.join();
    for (int i = 0; i < kClients; ++i) EXPECT_EQ(answered[i], kCalls) << "client " << i;
}

}  // namespace

namespace {

// Stopped with workers in every state: one waiting for a request, one in the
// middle of one, one idle after its answer, and a spare worker that a burst
// started. Every worker is joined and the service ends cleanly (natively
// under ASan, which reports any use of the service after it is gone).
TEST_F(RatesvcServer, StopsCleanlyWithBusyAndIdleWorkers) {
    pid_t pid = 0;
    int port = 0;
    StartService(s_dir, s_rates, {}, pid, port);
    const std::string request = Post(kConversionPath, kConversionAction, ConversionRateEnvelope("USD", "JPY"), port);
    std::vector<std::unique_ptr<Connection>> open;
    for (int i = 0; i < 3; ++i) open.push_back(std::make_unique<Connection>(port));
    ASSERT_TRUE(open[0]->Call(kConversionPath, kConversionAction, ConversionRateEnvelope("USD", "JPY")));
    ASSERT_TRUE(open[1]->Send(request.substr(0, request.size() / 2)));
    const auto start = std::chrono::steady_clock::now();
    StopService(pid);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    for (auto& c : open) EXPECT_TRUE(c->ClosedByServer());
}

}  // namespace

namespace {

// GET /status says where the rates come from; nothing of the request is in
// it, and any other GET is a plain 404. Neither disturbs the SOAP calls.
TEST_F(RatesvcServer, StatusPageSaysWhereTheRatesComeFrom) {
    const auto get = [](const std::string& target) {
        Connection c(s_port);
        EXPECT_TRUE(c.Send("GET " + target + " HTTP/1.1\r\nHost: localhost:" + std::to_string(s_port) +
                           "\r\nX-Echo: zqx-marker\r\n\r\n"));
        return c.Receive().value_or(Response{});
    };
    const Response status = get("/status?zqx-marker");
    EXPECT_EQ(status.nStatus, 200);
    EXPECT_NE(status.strHeaders.find("text/plain"), std::string::npos) << status.strHeaders;
    EXPECT_NE(status.strBody.find("answerable: "), std::string::npos) << status.strBody;
    EXPECT_NE(status.strBody.find("not answerable: ZWD"), std::string::npos) << status.strBody;
    const Response other = get("/zqx-marker");
    EXPECT_EQ(other.nStatus, 404);
    for (const Response* r : {&status, &other})
        EXPECT_EQ((r->strHeaders + r->strBody).find("zqx-marker"), std::string::npos) << r->strHeaders << r->strBody;
    EXPECT_EQ(NumberIn(Convert("USD", "JPY"), "ConversionRateResult"), 117.25);
}

}  // namespace

namespace {

// Only the program on this computer is answered: a web page's preflight, a
// page's simple POST (it carries an Origin) and a request under a rebound DNS
// name (another Host) each get one refusal, with no Access-Control header
// and nothing after it; the program's own requests are answered as before.
TEST_F(RatesvcServer, AnswersNoWebPage) {
    const std::string own = "127.0.0.1:" + std::to_string(s_port);
    const std::string body = ConversionRateEnvelope("USD", "JPY");
    const auto post = [&](const std::string& host, const std::string& extra) {
        return "POST " + std::string(kConversionPath) + " HTTP/1.1\r\n" + (host.empty() ? "" : "Host: " + host + "\r\n") +
               extra + "Content-Type: text/plain\r\nSOAPAction: " + kConversionAction +
               "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    };
    const struct {
        const char* what;
        std::string request;
        int status;
    } refused[] = {
        {"preflight", "OPTIONS " + std::string(kConversionPath) + " HTTP/1.1\r\nHost: " + own +
                          "\r\nOrigin: http://evil.example\r\nAccess-Control-Request-Method: POST\r\n\r\n", 405},
        {"a page's simple POST", post(own, "Origin: http://evil.example\r\n"), 500},
        {"a rebound DNS name", post("evil.example:" + std::to_string(s_port), ""), 500},
        {"no Host", post("", ""), 500},
        {"status under another name", "GET /status HTTP/1.1\r\nHost: evil.example\r\n\r\n", 403},
    };
    for (const auto& r : refused) {
        Connection c(s_port);
        ASSERT_TRUE(c.Send(r.request)) << r.what;
        std::string all;
        EXPECT_TRUE(c.ReadUntilClosed(all)) << r.what;
        EXPECT_EQ(all.rfind("HTTP/1.1 " + std::to_string(r.status) + " ", 0), 0u) << r.what << ": " << all;
        EXPECT_EQ(all.find("HTTP/1.", 1), std::string::npos) << r.what << ": a second response: " << all;
        EXPECT_EQ(all.find("Access-Control"), std::string::npos) << r.what << ": " << all;
        EXPECT_EQ(all.find("ConversionRateResult"), std::string::npos) << r.what << ": " << all;
    }
    for (const std::string& host : {own, "LocalHost:" + std::to_string(s_port)}) {
        Connection c(s_port);
        ASSERT_TRUE(c.Send(post(host, "")));
        const auto answer = c.Receive();
        ASSERT_TRUE(answer);
        EXPECT_EQ(NumberIn(*answer, "ConversionRateResult"), 117.25) << host;
    }
}

}  // namespace

namespace {

// One client holding every connection slot cannot keep the program out:
// idle connections make room, and refusals while every slot is in a request
// are logged once, not once each.
TEST_F(RatesvcServer, NoClientCanHoldEverySlot) {
    pid_t pid = 0;
    int port = 0;
    const std::string log = s_dir + "/slots.log";
    StartService(s_dir, s_rates, {"--max-connections", "4"}, pid, port, log);
    const std::string call = Post(kConversionPath, kConversionAction, ConversionRateEnvelope("USD", "JPY"), port);
    {
        std::vector<std::unique_ptr<Connection>> hogs;
        for (int i = 0; i < 4; ++i) {
            hogs.push_back(std::make_unique<Connection>(port));
            ASSERT_TRUE(hogs.back()->Call(kConversionPath, kConversionAction, ConversionRateEnvelope("USD", "JPY")));
        }
        Connection program(port);
        const auto answer = program.Call(kConversionPath, kConversionAction, ConversionRateEnvelope("USD", "JPY"));
        ASSERT_TRUE(answer);
        EXPECT_EQ(NumberIn(*answer, "ConversionRateResult"), 117.25);
        EXPECT_TRUE(hogs.front()->ClosedByServer()) << "the longest idle made room";
    }
    {
        std::vector<std::unique_ptr<Connection>> busy;
        for (int i = 0; i < 4; ++i) {
            busy.push_back(std::make_unique<Connection>(port));
            ASSERT_TRUE(busy.back()->Send(call.substr(0, call.size() / 2)));
        }
        for (int i = 0; i < 30; ++i) {
            Connection refused(port);
            EXPECT_TRUE(refused.ClosedByServer());
        }
    }
    StopService(pid);
    std::ifstream in(log);
    int lines = 0;
    for (std::string line; std::getline(in, line);) lines += line.find("connections refused") != std::string::npos;
    EXPECT_EQ(lines, 1);
}

}  // namespace
