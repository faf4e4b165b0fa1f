// zelvane-callbench-gsoap: the same N ConversionRate calls as
// zelvane-callbench, made by a gSOAP-generated client on one kept-alive
// connection, as the yardstick for what a call costs the client.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "soapH.h"

// The "cr" entry is rewritten when a namespace is given.
struct Namespace namespaces[] = {
    {"SOAP-ENV", "http://schemas.xmlsoap.org/soap/envelope/", "http://www.w3.org/*/soap-envelope", nullptr},
    {"SOAP-ENC", "http://schemas.xmlsoap.org/soap/encoding/", "http://www.w3.org/*/soap-encoding", nullptr},
    {"xsi", "http://www.w3.org/2001/XMLSchema-instance", "http://www.w3.org/*/XMLSchema-instance", nullptr},
    {"xsd", "http://www.w3.org/2001/XMLSchema", "http://www.w3.org/*/XMLSchema", nullptr},
    {"cr", "http://zelvane.morvast.example/", nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr},
};

namespace {

constexpr char kDefaultNamespace[] = "http://zelvane.morvast.example/";

bool ParseCount(const char* text, long* out) {
    char* end = nullptr;
    long n = std::strtol(text, &end, 10);
    if (end == text || *end || n < 1) return false;
    *out = n;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    long calls = 0;
    if (argc < 3 || argc > 4 || !ParseCount(argv[2], &calls)) {
        std::fprintf(stderr,
                     "usage: zelvane-callbench-gsoap <endpoint-url> <N> [namespace]\n"
                     "  N ConversionRate calls USD->JPY on one gSOAP client; the namespace defaults to %s\n",
                     kDefaultNamespace);
        return 2;
    }
    const std::string ns = argc == 4 ? argv[3] : kDefaultNamespace;
    const std::string action = ns + "ConversionRate";
    namespaces[4].ns = ns.c_str();

    // Keep-alive both ways, so all calls share one connection as ours do.
    soap* ctx = soap_new2(SOAP_IO_KEEPALIVE, SOAP_IO_KEEPALIVE);
    if (!ctx) return 1;
    ctx->send_timeout = ctx->recv_timeout = 10;
    ctx->connect_timeout = 10;

    long failures = 0;
    double rate = 0;
    const std::string from = "USD", to = "JPY";
    for (long i = 0; i < calls; ++i) {
        double value = 0;
        if (soap_call_cr__ConversionRate(ctx, argv[1], action.c_str(), from, to, value) == SOAP_OK) {
            rate = value;
        } else {
            if (failures == 0) {
                std::fprintf(stderr, "zelvane-callbench-gsoap: call %ld failed: ", i + 1);
                soap_print_fault(ctx, stderr);
            }
            ++failures;
        }
        // Each call's deserialised data goes, the connection stays.
        soap_destroy(ctx);
        soap_end(ctx);
    }
    std::printf("calls %ld, failures %ld, rate %.4f\n", calls, failures, rate);
    soap_closesock(ctx);
    soap_free(ctx);
    return failures ? 1 : 0;
}
