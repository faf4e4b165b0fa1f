// An independent SOAP server (gSOAP) for the round-trip tests. It listens on
// a free loopback port, writes the port to the file named by its argument,
// and answers until it is killed. Chosen inputs give faults:
//   ConversionRate from XAU          -> Client fault "unknown currency"
//   ConversionRate from XAG          -> Server fault "rates unavailable"
//   getRate with an empty country1   -> Server fault "no such country"
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "soapH.h"
#include "rates.nsmap"

namespace {

double RateOf(const char* code) {
    static const struct { const char* code; double perUsd; } kRates[] = {
        {"USD", 1.0}, {"JPY", 110.5}, {"EUR", 0.5}, {"TRY", 4.0}, {"TRL", 4000000.0}};
    for (const auto& r : kRates)
        if (code && std::strcmp(code, r.code) == 0) return r.perUsd;
    return 2.0;
}

}  // namespace

int cr__ConversionRate(struct soap* soap, char* from, char* to, double* result) {
    if (from && std::strcmp(from, "XAU") == 0) return soap_sender_fault(soap, "unknown currency", nullptr);
    if (from && std::strcmp(from, "XAG") == 0) return soap_receiver_fault(soap, "rates unavailable", nullptr);
    *result = RateOf(to) / RateOf(from);
    return SOAP_OK;
}

int ex__getRate(struct soap* soap, char* country1, char* country2, float* result) {
    if (!country1 || !*country1) return soap_receiver_fault(soap, "no such country", nullptr);
    const std::string a = country1, b = country2 ? country2 : "";
    *result = a == "usa" && b == "japan" ? 110.5f : a == b ? 1.0f : 0.25f;
    return SOAP_OK;
}

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: rates_server <port file>\n");
        return 2;
    }
    struct soap soap;
    soap_init(&soap);
    soap.bind_flags = SO_REUSEADDR;
    if (!soap_valid_socket(soap_bind(&soap, "127.0.0.1", 0, 16))) {
        soap_print_fault(&soap, stderr);
        return 1;
    }
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    getsockname(soap.master, reinterpret_cast<sockaddr*>(&addr), &len);
    std::string tmp = std::string(argv[1]) + ".tmp";
    FILE* f = std::fopen(tmp.c_str(), "w");
    if (!f) return 1;
    std::fprintf(f, "%d\n", ntohs(addr.sin_port));
    std::fclose(f);
    std::rename(tmp.c_str(), argv[1]);  // readers never see a half-written port
    for (;;) {
        if (!soap_valid_socket(soap_accept(&soap))) continue;
        soap.keep_alive = 1;  // the client keeps its connection between calls
        soap_serve(&soap);
        soap_destroy(&soap);
        soap_end(&soap);
    }
}
