// Writing the two request envelopes and reading the two typical responses:
// time and heap allocations per operation (global operator new is counted).
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>

#include "rates/currency_tables.h"
#include "tests/soap/fixture_operations.h"
#include "transport/soap_response_parser.h"
#include "transport/soap_string.h"
#include "transport/soap_writer.h"

namespace {
std::atomic<long long> g_allocations{0};
std::atomic<long long> g_mallocs{0};
}

#if defined(__GLIBC__)
// expat allocates with malloc, not operator new: count the C heap as well.
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* malloc(size_t n) {
    g_mallocs.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(n);
}
void* calloc(size_t n, size_t size) {
    g_mallocs.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(n, size);
}
void* realloc(void* p, size_t n) {
    g_mallocs.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(p, n);
}
}
#endif

void* operator new(std::size_t n) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

using namespace soap;

class AllocationCounter {
public:
    explicit AllocationCounter(benchmark::State& state)
        : m_state(state), m_start(g_allocations.load()), m_startC(g_mallocs.load()) {}
    ~AllocationCounter() {
        m_state.counters["new/op"] = benchmark::Counter(
            static_cast<double>(g_allocations.load() - m_start), benchmark::Counter::kAvgIterations);
        // Includes the mallocs behind operator new.
        m_state.counters["heap/op"] = benchmark::Counter(
            static_cast<double>(g_mallocs.load() - m_startC), benchmark::Counter::kAvgIterations);
    }

private:
    benchmark::State& m_state;
    long long m_start;
    long long m_startC;
};

void WriteConversionRate(benchmark::State& state) {
    fixtures::ConversionRateBlock block{rates::kCurrency_USD, rates::kCurrency_JPY, 0};
    std::string text;
    text.reserve(1024);  // the client keeps its request text between calls
    AllocationCounter count(state);
    for (auto _ : state) {
        text.clear();
        CStringOutputStream out(text);
        if (GenerateRequest(&fixtures::kConversionRate, &block, out) != kStatusOk) state.SkipWithError("generate");
        benchmark::DoNotOptimize(text.data());
    }
}
BENCHMARK(WriteConversionRate);

void WriteGetRate(benchmark::State& state) {
    char16_t* c1 = AllocSoapString(u"usa");
    char16_t* c2 = AllocSoapString(u"japan");
    fixtures::GetRateBlock block{c1, c2, 0};
    std::string text;
    text.reserve(1024);
    {
        AllocationCounter count(state);
        for (auto _ : state) {
            text.clear();
            CStringOutputStream out(text);
            if (GenerateRequest(&fixtures::kGetRate, &block, out) != kStatusOk) state.SkipWithError("generate");
            benchmark::DoNotOptimize(text.data());
        }
    }
    FreeSoapString(c1);
    FreeSoapString(c2);
}
BENCHMARK(WriteGetRate);

const char kConversionResponse[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?><soap:Envelope "
    "xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\" "
    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
    "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\"><soap:Body>"
    "<ConversionRateResponse xmlns=\"http://zelvane.morvast.example/\">"
    "<ConversionRateResult>110.5</ConversionRateResult></ConversionRateResponse>"
    "</soap:Body></soap:Envelope>";

const char kGetRateResponse[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?><SOAP-ENV:Envelope "
    "xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\" "
    "xmlns:SOAP-ENC=\"http://schemas.xmlsoap.org/soap/encoding/\" "
    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
    "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" xmlns:ns1=\"urn:xmethods-CurrencyExchange\">"
    "<SOAP-ENV:Body SOAP-ENV:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\">"
    "<ns1:getRateResponse><Result xsi:type=\"xsd:float\">110.5</Result></ns1:getRateResponse>"
    "</SOAP-ENV:Body></SOAP-ENV:Envelope>";

template <typename Block>
void Parse(benchmark::State& state, const SoapOperationInfo& op, const char* doc, size_t len) {
    std::unique_ptr<IXmlReader> reader;
    CreateXmlReader(&reader);
    CSoapResponseParser parser;  // kept by the client, like the reader
    AllocationCounter count(state);
    for (auto _ : state) {
        Block block{};
        parser.BeginCall(&op, &block);
        if (parser.ParseResponse(*reader, doc, len) != kStatusOk) state.SkipWithError("parse");
        parser.EndCall();
        benchmark::DoNotOptimize(block);
    }
}

void ParseConversionRateResponse(benchmark::State& state) {
    Parse<fixtures::ConversionRateBlock>(state, fixtures::kConversionRate, kConversionResponse,
                                         sizeof kConversionResponse - 1);
}
BENCHMARK(ParseConversionRateResponse);

void ParseGetRateResponse(benchmark::State& state) {
    Parse<fixtures::GetRateBlock>(state, fixtures::kGetRate, kGetRateResponse, sizeof kGetRateResponse - 1);
}
BENCHMARK(ParseGetRateResponse);

}  // namespace

BENCHMARK_MAIN();
