// Arbitrary bytes as what a client sends the rate service on one connection:
// the service's HTTP hooks, gSOAP's parsers, the request lookup and the
// fault path, all as the server runs them, fed from memory instead of a
// socket. Whatever comes in, nothing crashes or leaks, and no control byte
// a client sent comes back raw in an answer.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>
#include <unistd.h>

#include "rate_book.h"
#include "ratesvc_serve.h"
#include "soapH.h"

namespace {

// ServeConnection owns soap->user, so the input lives here.
std::string_view g_input;
std::string g_output;

size_t ReadInput(soap*, char* buf, size_t len) {
    const size_t n = std::min(len, g_input.size());
    std::copy(g_input.data(), g_input.data() + n, buf);
    g_input.remove_prefix(n);
    return n;
}

int Collect(soap*, const char* data, size_t len) {
    g_output.append(data, len);
    return SOAP_OK;
}

int NoSocketCall(soap*, SOAP_SOCKET) { return SOAP_OK; }
int NoSocketCall(soap*, SOAP_SOCKET, int) { return SOAP_OK; }
int PeerIsThere(soap*) { return SOAP_OK; }

ratesvc::CRateFile& Rates() {
    static const std::string path = "/tmp/fuzz-ratesvc-rates-" + std::to_string(getpid()) + ".xml";
    static ratesvc::CRateFile file = [] {
        std::ofstream(path) << "<gesmes:Envelope xmlns:gesmes='http://www.gesmes.org/xml/2002-08-01' "
                               "xmlns='http://www.ecb.int/vocabulary/2002-08-01/eurofxref'><Cube><Cube time='2024-03-01'>"
                               "<Cube currency='USD' rate='2'/><Cube currency='JPY' rate='234.5'/>"
                               "<Cube currency='TRY' rate='40'/><Cube currency='TRL' rate='40000000'/>"
                               "</Cube></Cube></gesmes:Envelope>";
        std::atexit([] { std::remove(path.c_str()); });
        return ratesvc::CRateFile(path);
    }();
    return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static ratesvc::CServeContext context = [] {
        static ratesvc::CRateBook book;
        ratesvc::CServeContext c;
        c.pRates = &Rates();
        c.pBook = &book;
        c.nPort = 8080;  // the Host the seeds name
        c.status = [] { return std::string("status\n"); };  // GET /status goes through the same hooks
        return c;
    }();
    g_input = std::string_view(reinterpret_cast<const char*>(data), size);
    g_output.clear();

    soap* s = soap_new2(SOAP_IO_KEEPALIVE, SOAP_IO_KEEPALIVE);
    ratesvc::ConfigureContext(s, context.limits);
    s->frecv = ReadInput;
    s->fsend = Collect;
    // gSOAP writes HTTP headers only for a server; a listening socket that
    // is never touched (closing and shutting down do nothing) makes it one,
    // and the client is always still there to hear its fault.
    s->master = 0;
    s->fpoll = PeerIsThere;
    s->fclosesocket = NoSocketCall;
    s->fshutdownsocket = NoSocketCall;
    ratesvc::ServeConnection(s, context);
    soap_destroy(s);
    soap_end(s);
    soap_free(s);

    for (const char ch : g_output) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c < 0x20 && c != '\r' && c != '\n' && c != '\t') || c == 0x7F) std::abort();
    }
    return 0;
}
