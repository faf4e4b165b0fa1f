// Cost of one SOAP exchange on the client side, network excluded: writing
// the request text, and reading a typical answer (about 400 header bytes,
// a 350-byte body, by length or chunked) from an in-memory connection.
// Heap allocations are counted by replacing the global operator new.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "iis_answer.h"
#include "transport/http_client.h"
#include "transport/http_request.h"

namespace {
std::atomic<size_t> g_allocations{0};
}

void* operator new(size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }

namespace {

// Replays one answer per request, in reads of up to 1460 bytes (one
// Ethernet segment of payload), and swallows what is written.
class ReplayConnection final : public IConnection {
public:
    explicit ReplayConnection(std::string answer) : m_answer(std::move(answer)) {}
    bool ConnectTo(const char*, uint16_t) override { return m_connected = true; }
    bool Write(const ConstBuffer* buffers, size_t count, size_t* sent) override {
        *sent = 0;
        for (size_t i = 0; i < count; ++i) *sent += buffers[i].size;
        m_offset = 0;  // a new request: the answer starts again
        return true;
    }
    bool Read(char* buffer, size_t* size) override {
        size_t n = m_answer.size() - m_offset;
        if (n > *size) n = *size;
        if (n > 1460) n = 1460;
        std::memcpy(buffer, m_answer.data() + m_offset, n);
        m_offset += n;
        *size = n;
        return true;
    }
    void Close() override { m_connected = false; }
    bool IsConnected() const override { return m_connected; }
    int LastError() const override { return 0; }
    void SetTimeout(uint32_t) override {}

private:
    std::string m_answer;
    size_t m_offset = 0;
    bool m_connected = false;
};

std::string MakeBody() {
    std::string body =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?><soap:Envelope "
    "xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\" "
    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"><soap:Body><ConversionRateResponse "
    "xmlns=\"http://www.example.net/\"><ConversionRateResult>151.2345</ConversionRateResult>"
    "</ConversionRateResponse></soap:Body></soap:Envelope>";
    body.resize(350, '\n');  // trailing white space up to the typical size
    return body;
}
const std::string kBody = MakeBody();

std::string LengthAnswer() {
    return IisHead("Content-Length: " + std::to_string(kBody.size()) + "\r\n") + kBody;
}

std::string ChunkedAnswer() { return IisHead("Transfer-Encoding: chunked\r\n") + ChunkedBody(kBody, 128); }

const char kAction[] =
    "SOAPAction: \"http://www.example.net/ConversionRate\"\r\nAccept: text/xml\r\n";
const std::string kEnvelope(420, 'e');

void ReportAllocations(benchmark::State& state, size_t before) {
    state.counters["allocs/op"] = benchmark::Counter(
        static_cast<double>(g_allocations.load() - before), benchmark::Counter::kAvgIterations);
}

void BM_BuildSoapRequestText(benchmark::State& state) {
    CHttpUrl url;
    url.SetUrl("http://www.example.net/CurrencyConvertor.asmx");
    std::string text;
    size_t before = g_allocations.load();
    for (auto _ : state) {
        BuildRequestText("POST", url, static_cast<uint32_t>(kEnvelope.size()),
                         "text/xml; charset=utf-8", kAction, &text);
        benchmark::DoNotOptimize(text.data());
    }
    ReportAllocations(state, before);
}

void Exchange(benchmark::State& state, const std::string& answer) {
    ReplayConnection connection(answer);
    CHttpClient http(connection);
    CHttpUrl url;
    url.SetUrl("http://www.example.net/CurrencyConvertor.asmx");
    HttpRequestOptions options;
    options.szMethod = "POST";
    options.szContentType = "text/xml; charset=utf-8";
    options.szExtraHeaders = kAction;
    options.pBody = kEnvelope.data();
    options.nContentLength = static_cast<uint32_t>(kEnvelope.size());
    http.PerformRequest(&url, &options);  // warms the reused buffers up
    size_t before = g_allocations.load();
    for (auto _ : state) {
        if (!http.PerformRequest(&url, &options) || http.BodyLength() != kBody.size()) {
            state.SkipWithError("exchange failed");
            break;
        }
        benchmark::DoNotOptimize(http.BodyData());
    }
    ReportAllocations(state, before);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * answer.size()));
}

void BM_SoapExchangeContentLength(benchmark::State& state) { Exchange(state, LengthAnswer()); }
void BM_SoapExchangeChunked(benchmark::State& state) { Exchange(state, ChunkedAnswer()); }

// The reader alone on the answer as one piece, from a fresh client each time.
void BM_ReadResponseFreshClient(benchmark::State& state) {
    const std::string answer = LengthAnswer();
    size_t before = g_allocations.load();
    for (auto _ : state) {
        CHttpBuffer buffer;
        CHttpHeaderMap headers;
        CHttpResponseReader reader(buffer, headers);
        reader.Begin(0);
        benchmark::DoNotOptimize(reader.Feed(answer.data(), answer.size()));
    }
    ReportAllocations(state, before);
}

BENCHMARK(BM_BuildSoapRequestText);
BENCHMARK(BM_SoapExchangeContentLength);
BENCHMARK(BM_SoapExchangeChunked);
BENCHMARK(BM_ReadResponseFreshClient);

}  // namespace

BENCHMARK_MAIN();
