// HTTP response reading, ours beside reference parsers, on the same bytes:
// the program's CHttpResponseReader, Node's llhttp (from the C sources of
// Debian's node-llhttp) and Node's older http_parser (Debian's
// libhttp-parser-dev). Each gets each response
// in pieces of at most 1460 bytes (one Ethernet segment of payload), keep
// every header line and copy the body out, which is what the client needs.
//
//   bench_http_read time
//       ns per byte of each parser on each response, interleaved in one run
//       (median of 9 rounds).
//   bench_http_read count <ours|llhttp|http_parser> <response> <iterations>
//       reads the response <iterations> times inside zelvane_counted_loop,
//       for callgrind's --toggle-collect (tools/readbench.sh).
#include <http_parser.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "http_read_llhttp.h"
#include "iis_answer.h"
#include "transport/http_response_reader.h"

namespace {

constexpr size_t kSegment = 1460;

// The local rate service's ConversionRate answer, as gSOAP writes it.
const char kRatesvcAnswer[] =
    "HTTP/1.1 200 OK\r\n"
    "Server: gSOAP/2.8\r\n"
    "X-Frame-Options: SAMEORIGIN\r\n"
    "Content-Type: text/xml; charset=utf-8\r\n"
    "Content-Length: 322\r\n"
    "Keep-Alive: timeout=600, max=1000000\r\n"
    "Connection: keep-alive\r\n"
    "\r\n"
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\" "
    "xmlns:cr=\"http://zelvane.morvast.example/\"><SOAP-ENV:Body><cr:ConversionRateResponse>"
    "<cr:ConversionRateResult>150</cr:ConversionRateResult></cr:ConversionRateResponse>"
    "</SOAP-ENV:Body></SOAP-ENV:Envelope>\r\n";

std::string DotNetBody() {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?><soap:Envelope "
           "xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\" "
           "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
           "xmlns:wsa=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\"><soap:Header>"
           "<wsa:Action>http://zelvane.morvast.example/ConversionRateResponse</wsa:Action>"
           "<wsa:MessageID>urn:uuid:6f1c2d7e-93a4-4c1b-8f0e-2b7d5a9c4e31</wsa:MessageID>"
           "<wsa:RelatesTo>urn:uuid:0b4e8a12-5d3c-47f9-a6e2-91c7d3f08b54</wsa:RelatesTo></soap:Header>"
           "<soap:Body><ConversionRateResponse xmlns=\"http://zelvane.morvast.example/\">"
           "<ConversionRateResult>117.25</ConversionRateResult></ConversionRateResponse></soap:Body></soap:Envelope>";
}

struct Response {
    const char* name;
    std::string bytes;
    size_t bodyLength;
};

std::vector<Response> Responses() {
    const std::string dotnet = DotNetBody();
    std::string large;  // a long XML body, as a history file or a big answer brings
    while (large.size() < 64 * 1024) large += "<Cube currency=\"USD\" rate=\"1.0842\"/>\n";
    const std::string ratesvc = kRatesvcAnswer;
    return {
        {"ratesvc", ratesvc, ratesvc.size() - ratesvc.find("\r\n\r\n") - 4},
        {"dotnet", IisHead("Content-Length: " + std::to_string(dotnet.size()) + "\r\n") + dotnet, dotnet.size()},
        {"dotnet-chunked", IisHead("Transfer-Encoding: chunked\r\n") + ChunkedBody(dotnet, 256), dotnet.size()},
        {"large-64k", IisHead("Content-Length: " + std::to_string(large.size()) + "\r\n") + large, large.size()},
    };
}

// The program's reader, reused between responses as its client reuses it.
class OursReader {
public:
    OursReader() : m_reader(m_buffer, m_headers) {}
    size_t Read(const std::string& response) {
        m_reader.Begin(0);
        HttpReadResult r = HttpReadResult::kIncomplete;
        for (size_t at = 0; at < response.size() && r == HttpReadResult::kIncomplete; at += kSegment)
            r = m_reader.Feed(response.data() + at, std::min(kSegment, response.size() - at));
        return r == HttpReadResult::kDone ? m_reader.BodyLength() : 0;
    }

private:
    CHttpBuffer m_buffer;
    CHttpHeaderMap m_headers;
    CHttpResponseReader m_reader;
};

// http_parser with the same duty: header lines kept (as views into the
// response, the cheapest way to keep them) and the body copied out.
class ReferenceReader {
public:
    ReferenceReader() {
        http_parser_settings_init(&m_settings);
        m_settings.on_header_field = [](http_parser* p, const char* at, size_t n) {
            auto& self = *static_cast<ReferenceReader*>(p->data);
            if (self.m_headers.empty() || !self.m_headers.back().second.empty()) self.m_headers.push_back({});
            self.m_headers.back().first = std::string_view(at, n);
            return 0;
        };
        m_settings.on_header_value = [](http_parser* p, const char* at, size_t n) {
            static_cast<ReferenceReader*>(p->data)->m_headers.back().second = std::string_view(at, n);
            return 0;
        };
        m_settings.on_body = [](http_parser* p, const char* at, size_t n) {
            static_cast<ReferenceReader*>(p->data)->m_body.append(at, n);
            return 0;
        };
        m_settings.on_message_complete = [](http_parser* p) {
            static_cast<ReferenceReader*>(p->data)->m_done = true;
            return 0;
        };
    }
    size_t Read(const std::string& response) {
        http_parser_init(&m_parser, HTTP_RESPONSE);
        m_parser.data = this;
        m_headers.clear();
        m_body.clear();
        m_done = false;
        for (size_t at = 0; at < response.size() && !m_done; at += kSegment) {
            const size_t n = std::min(kSegment, response.size() - at);
            if (http_parser_execute(&m_parser, &m_settings, response.data() + at, n) != n &&
                HTTP_PARSER_ERRNO(&m_parser) != HPE_OK)
                return 0;
        }
        return m_done ? m_body.size() : 0;
    }

private:
    http_parser m_parser{};
    http_parser_settings m_settings{};
    std::vector<std::pair<std::string_view, std::string_view>> m_headers;
    std::string m_body;
    bool m_done = false;
};

template <class Reader>
size_t ReadMany(Reader& reader, const std::string& response, long iterations) {
    size_t total = 0;
    for (long i = 0; i < iterations; ++i) total += reader.Read(response);
    return total;
}

enum class Parser { kOurs, kLlhttp, kHttpParser };
constexpr const char* kParserNames[] = {"ours", "llhttp", "http_parser"};

}  // namespace

// The loop callgrind counts (--toggle-collect=zelvane_counted_loop).
extern "C" __attribute__((noinline)) size_t zelvane_counted_loop(int parser, const std::string* response, long iterations) {
    static OursReader ours;
    static LlhttpReader llhttp;
    static ReferenceReader httpParser;
    switch (static_cast<Parser>(parser)) {
    case Parser::kOurs: return ReadMany(ours, *response, iterations);
    case Parser::kLlhttp: return ReadMany(llhttp, *response, iterations);
    case Parser::kHttpParser: return ReadMany(httpParser, *response, iterations);
    }
    return 0;
}

namespace {

// Nanoseconds per byte of one round long enough to time (about 20 ms).
template <class Reader>
double NsPerByte(Reader& reader, const Response& r) {
    const long iterations = std::max(10L, static_cast<long>(20e6 / (1.0 * static_cast<double>(r.bytes.size()))));
    const auto start = std::chrono::steady_clock::now();
    const size_t got = ReadMany(reader, r.bytes, iterations);
    const double ns = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
    if (got != r.bodyLength * static_cast<size_t>(iterations)) {
        std::fprintf(stderr, "bench_http_read: %s was misread\n", r.name);
        std::exit(1);
    }
    return ns / (static_cast<double>(iterations) * static_cast<double>(r.bytes.size()));
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

int Time() {
    OursReader ours;
    LlhttpReader llhttp;
    ReferenceReader httpParser;
    std::printf("%-16s %7s %12s %12s %12s\n", "response", "bytes", "ours", "llhttp", "http_parser");
    for (const Response& r : Responses()) {
        std::vector<double> a, b, c;
        for (int round = 0; round < 9; ++round) {  // interleaved, so all see the same machine
            a.push_back(NsPerByte(ours, r));
            b.push_back(NsPerByte(llhttp, r));
            c.push_back(NsPerByte(httpParser, r));
        }
        std::printf("%-16s %7zu %12.3f %12.3f %12.3f\n", r.name, r.bytes.size(), Median(a), Median(b), Median(c));
    }
    return 0;
}

int Count(const char* parser, const char* name, const char* count) {
    const long iterations = std::strtol(count, nullptr, 10);
    int which = -1;
    for (int k = 0; k < 3; ++k)
        if (std::strcmp(parser, kParserNames[k]) == 0) which = k;
    if (which < 0) return 2;
    for (const Response& r : Responses()) {
        if (std::strcmp(r.name, name) != 0) continue;
        const size_t got = zelvane_counted_loop(which, &r.bytes, iterations);
        std::printf("bytes %zu body %zu read %zu\n", r.bytes.size(), r.bodyLength, got);
        return got == r.bodyLength * static_cast<size_t>(iterations) ? 0 : 1;
    }
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "time") == 0) return Time();
    if (argc == 5 && std::strcmp(argv[1], "count") == 0) return Count(argv[2], argv[3], argv[4]);
    if (argc == 2 && std::strcmp(argv[1], "list") == 0) {
        for (const Response& r : Responses()) std::printf("%s %zu\n", r.name, r.bytes.size());
        return 0;
    }
    std::fprintf(stderr,
                 "usage: bench_http_read time | list | count <ours|llhttp|http_parser> <response> <iterations>\n");
    return 2;
}
