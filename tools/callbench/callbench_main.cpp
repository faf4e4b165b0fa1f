// zelvane-callbench: N ConversionRate calls (USD to JPY) through one
// rates::CCurrencyConvertor, so one kept-alive connection, for measuring what
// a call costs the client. Prints the last rate and the failures; exits
// non-zero when any call failed.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "rates/currency_convertor.h"
#include "rates/currency_tables.h"
#include "rates/service_defaults.h"

namespace {

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
                     "usage: zelvane-callbench <endpoint-url> <N> [namespace]\n"
                     "  N ConversionRate calls USD->JPY on one client; the namespace defaults to %s\n",
                     rates::kDefaultConversionRateNamespace);
        return 2;
    }
    const std::string ns = argc == 4 ? argv[3] : rates::kDefaultConversionRateNamespace;
    rates::CCurrencyConvertor client(argv[1], ns);

    long failures = 0;
    double rate = 0;
    for (long i = 0; i < calls; ++i) {
        double value = 0;
        if (soap::Succeeded(client.ConversionRate(rates::kCurrency_USD, rates::kCurrency_JPY, &value))) {
            rate = value;
        } else {
            if (failures == 0)
                std::fprintf(stderr, "zelvane-callbench: call %ld failed, result code %d\n", i + 1,
                             static_cast<int>(client.ResultCode()));
            ++failures;
        }
    }
    std::printf("calls %ld, failures %ld, rate %.4f\n", calls, failures, rate);
    return failures ? 1 : 0;
}
