// zelvane-ratesvc: the local rate service. One gSOAP server on loopback that
// answers both of the program's rate clients from a rates file in the
// European Central Bank's daily reference format:
//   POST /CurrencyConvertor.asmx  document/literal ConversionRate (codes)
//   POST /soap                    rpc/encoded getRate (country names)
// One thread per connection; connections are kept alive between calls.
// Its shell (ratesvc_host_posix.cpp, ratesvc_host_win.cpp) starts and stops
// it and keeps its log.
#ifndef _WIN32
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "rate_fetch.h"
#include "rate_file.h"
#include "rate_lookup.h"
#include "ratesvc_host.h"
#include "soapH.h"

// SOAP 1.1 first, so that faults for requests too broken to tell the version
// still go out as SOAP 1.1. The "cr" entry is rewritten by --namespace.
struct Namespace namespaces[] = {
    {"SOAP-ENV", "http://schemas.xmlsoap.org/soap/envelope/", "http://www.w3.org/*/soap-envelope", nullptr},
    {"SOAP-ENC", "http://schemas.xmlsoap.org/soap/encoding/", "http://www.w3.org/*/soap-encoding", nullptr},
    {"xsi", "http://www.w3.org/2001/XMLSchema-instance", "http://www.w3.org/*/XMLSchema-instance", nullptr},
    {"xsd", "http://www.w3.org/2001/XMLSchema", "http://www.w3.org/*/XMLSchema", nullptr},
    {"cr", "http://zelvane.morvast.example/", nullptr, nullptr},
    {"snp", "urn:xmethods-CurrencyExchange", nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr},
};

namespace {

// The answers declare only the namespaces they use: a ConversionRate answer
// needs the envelope's and the service's, getRate's no service namespace of
// the other contract. Requests are still read with the whole table.
struct Namespace conversionAnswerNamespaces[] = {
    {"SOAP-ENV", "http://schemas.xmlsoap.org/soap/envelope/", "http://www.w3.org/*/soap-envelope", nullptr},
    {"cr", "http://zelvane.morvast.example/", nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr},
};
struct Namespace exchangeAnswerNamespaces[] = {
    {"SOAP-ENV", "http://schemas.xmlsoap.org/soap/envelope/", "http://www.w3.org/*/soap-envelope", nullptr},
    {"SOAP-ENC", "http://schemas.xmlsoap.org/soap/encoding/", "http://www.w3.org/*/soap-encoding", nullptr},
    {"xsi", "http://www.w3.org/2001/XMLSchema-instance", "http://www.w3.org/*/XMLSchema-instance", nullptr},
    {"xsd", "http://www.w3.org/2001/XMLSchema", "http://www.w3.org/*/XMLSchema", nullptr},
    {"snp", "urn:xmethods-CurrencyExchange", nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr},
};

constexpr char kConversionRatePath[] = "/CurrencyConvertor.asmx";
constexpr char kExchangeRatePath[] = "/soap";
constexpr int kSendTimeoutSec = 10;
// More calls per connection than any client makes; gSOAP's own default (100)
// would drop a long-lived monitor connection every hundred polls.
constexpr int kMaxKeepAlive = 1000000;

struct Options {
    std::string strRates;
    int nPort = 0;
    std::string strPortFile;
    std::string strNamespace;
    std::string strRatesUrl;        // fetched into strRates when given
    int nFetchEverySec = 3600;
    int nIdleTimeoutSec = 600;  // longer than the slowest poll period (290 s)
    int nMaxConnections = 256;
    bool bVerbose = false;
};

struct Service {
    explicit Service(const Options& o) : opts(o), rates(o.strRates, Log) {}

    static void Log(const std::string& line) { ratesvc::HostLog(line); }

    const Options& opts;
    ratesvc::CRateFile rates;

    // Open connections, so that shutdown can wake and wait for them.
    std::mutex mutex;
    std::condition_variable idle;
    std::set<soap*> connections;
};

// What one connection needs beyond gSOAP's context.
struct Connection {
    Service* pService = nullptr;
    int (*pfnParse)(soap*) = nullptr;                // gSOAP's HTTP header parser
    size_t (*pfnRecv)(soap*, char*, size_t) = nullptr;  // gSOAP's socket read
    bool bInBody = false;
    ULONG64 nBodyStart = 0;  // soap->count where the current body begins
    bool bCut = false;       // input of this request ended at its Content-Length
};

Connection& ConnectionOf(soap* s) { return *static_cast<Connection*>(s->user); }
Service& ServiceOf(soap* s) { return *ConnectionOf(s).pService; }

// gSOAP reads a request body until the XML ends, not until Content-Length is
// reached: a request cut short inside its XML would wait for bytes the client
// never sends. These two hooks make the end of the announced body an end of
// input, so such a request gets its fault at once.
int ParseHttpHeader(soap* s) {
    Connection& c = ConnectionOf(s);
    const int err = c.pfnParse(s);
    c.bInBody = !err;
    c.bCut = false;
    c.nBodyStart = s->count - (s->buflen - s->bufidx);
    return err;
}

size_t RecvWithinBody(soap* s, char* buf, size_t len) {
    Connection& c = ConnectionOf(s);
    // soap->count restarts at 0 with each message: below the body start means
    // the next message's header is being read.
    if (c.bInBody && s->length > 0 && s->count >= c.nBodyStart) {
        const ULONG64 got = s->count - c.nBodyStart;
        if (got >= s->length) {
            c.bCut = true;
            return 0;
        }
        if (len > s->length - got) len = static_cast<size_t>(s->length - got);
    } else {
        c.bInBody = false;
    }
    return c.pfnRecv(s, buf, len);
}

// The request path without any query part.
std::string RequestPath(const soap* s) {
    std::string path(s->path);
    const size_t q = path.find_first_of("?#");
    return q == std::string::npos ? path : path.substr(0, q);
}

int Fault(soap* s, ratesvc::FaultKind kind, const std::string& reason) {
    if (ServiceOf(s).opts.bVerbose) Service::Log("fault: " + reason);
    char* text = soap_strdup(s, reason.c_str());
    return kind == ratesvc::FaultKind::kClient ? soap_sender_fault(s, text, nullptr) : soap_receiver_fault(s, text, nullptr);
}

int WrongPath(soap* s, const char* operation, const char* path) {
    return Fault(s, ratesvc::FaultKind::kClient,
                 std::string(operation) + " is served at " + path + ", not at " + RequestPath(s));
}

// The whole announced body has arrived, so the client waits for an answer.
bool BodyComplete(const soap* s, const Connection& c) {
    return c.bInBody && s->length > 0 && s->count >= c.nBodyStart && s->count - c.nBodyStart >= s->length;
}

// gSOAP's serve loop, except that no request goes unanswered: a body cut
// short at its Content-Length, or a POST that is not SOAP at all (which gSOAP
// leaves to plug-ins this server does not have), gets a Client fault.
void ServeRequests(soap* conn, Connection& state) {
    conn->keep_alive = conn->max_keep_alive + 1;
    do {
        if (conn->keep_alive > 0 && conn->max_keep_alive > 0) conn->keep_alive--;
        soap_set_namespaces(conn, namespaces);
        int err = soap_begin_serve(conn);
        if (!err) err = soap_serve_request(conn);
        if (!err) {
            // What a call allocates lives until soap_end: free it per call, or
            // a kept-alive connection grows for as long as it lives.
            soap_destroy(conn);
            soap_end(conn);
            continue;
        }
        // Before an envelope was read gSOAP knows no SOAP version and would
        // write a fault code no SOAP 1.1 client can read.
        if (!conn->version) conn->version = 1;
        if (err >= SOAP_STOP) {
            soap_sender_fault(conn, "Not a SOAP request", nullptr);
        } else if (err == SOAP_EOF && (state.bCut || BodyComplete(conn, state))) {
            soap_sender_fault(conn, "The request ends inside its XML", nullptr);
        } else if (err == SOAP_EOF) {
            return;  // the client went away, or an idle connection timed out
        }
        soap_send_fault(conn);
        return;
    } while (conn->keep_alive);
}

void ServeConnection(soap* conn) {
    Connection state;
    state.pService = static_cast<Service*>(conn->user);
    state.pfnParse = conn->fparse;
    state.pfnRecv = conn->frecv;
    conn->user = &state;
    conn->fparse = ParseHttpHeader;
    conn->frecv = RecvWithinBody;
    Service& svc = *state.pService;
    ServeRequests(conn, state);
    {
        std::lock_guard<std::mutex> lock(svc.mutex);
        svc.connections.erase(conn);
        soap_destroy(conn);
        soap_end(conn);
        soap_free(conn);
    }
    svc.idle.notify_all();
}

bool ParseInt(const char* text, int& value) {
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (end == text || *end || v < 0 || v > 1000000) return false;
    value = static_cast<int>(v);
    return true;
}

bool ParseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--rates" && hasValue) o.strRates = argv[++i];
        else if (a == "--port" && hasValue) { if (!ParseInt(argv[++i], o.nPort)) return false; }
        else if (a == "--port-file" && hasValue) o.strPortFile = argv[++i];
        else if (a == "--namespace" && hasValue) o.strNamespace = argv[++i];
        else if (a == "--idle-timeout" && hasValue) { if (!ParseInt(argv[++i], o.nIdleTimeoutSec)) return false; }
        else if (a == "--max-connections" && hasValue) { if (!ParseInt(argv[++i], o.nMaxConnections)) return false; }
        else if (a == "--rates-url" && hasValue) o.strRatesUrl = argv[++i];
        else if (a == "--fetch-every" && hasValue) { if (!ParseInt(argv[++i], o.nFetchEverySec)) return false; }
        else if (a == "--verbose") o.bVerbose = true;
        else return false;
    }
    return !o.strRates.empty() && o.nPort >= 0 && o.nPort <= 65535 && o.nIdleTimeoutSec > 0 && o.nMaxConnections > 0 &&
           o.nFetchEverySec > 0;
}

void Usage() {
    ratesvc::HostUsage(
                 "usage: zelvane-ratesvc --rates FILE [--port N] [--port-file FILE] [--namespace URI]\n"
                 "                       [--idle-timeout SECONDS] [--max-connections N] [--verbose]\n"
                 "                       [--rates-url URL [--fetch-every SECONDS]]\n"
                 "  Serves ConversionRate at http://127.0.0.1:N/CurrencyConvertor.asmx and getRate at\n"
                 "  http://127.0.0.1:N/soap from FILE (euro reference rates), reloaded when it changes.\n"
                 "  --rates-url fetches FILE from URL at start and then every SECONDS (default 3600),\n"
                 "  asking only for a newer file; a failed or bad download keeps the rates in force.\n"
                 "  --port 0 (the default) picks a free port; the port is printed and, with\n"
                 "  --port-file, written to FILE. --namespace replaces ConversionRate's namespace.\n");
}

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.10g", value);
    return text;
}

// gSOAP's description of the last error, for the log.
std::string FaultText(soap* s) {
    char text[512] = "";
    soap_sprint_fault(s, text, sizeof text);
    return text;
}

int BoundPort(SOAP_SOCKET sock) {
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    if (getsockname(sock, reinterpret_cast<sockaddr*>(&addr), &len) != 0) return -1;
    return ntohs(addr.sin_port);
}

}  // namespace

// document/literal ConversionRate: three-letter codes in, the rate out.
int cr__ConversionRate(soap* s, std::string FromCurrency, std::string ToCurrency, double& ConversionRateResult) {
    if (RequestPath(s) != kConversionRatePath) return WrongPath(s, "ConversionRate", kConversionRatePath);
    const auto table = ServiceOf(s).rates.Current();
    const ratesvc::CRateAnswer answer = ratesvc::RateForCodes(table.get(), FromCurrency, ToCurrency);
    if (answer.kind != ratesvc::FaultKind::kNone) return Fault(s, answer.kind, answer.strReason);
    if (ServiceOf(s).opts.bVerbose)
        Service::Log("ConversionRate " + FromCurrency + " " + ToCurrency + " -> " + Number(answer.dRate));
    ConversionRateResult = answer.dRate;
    soap_set_namespaces(s, conversionAnswerNamespaces);
    return SOAP_OK;
}

// rpc/encoded getRate: country names in, the rate out as a float.
int snp__getRate(soap* s, std::string country1, std::string country2, float& Result) {
    if (RequestPath(s) != kExchangeRatePath) return WrongPath(s, "getRate", kExchangeRatePath);
    const auto table = ServiceOf(s).rates.Current();
    const ratesvc::CRateAnswer answer = ratesvc::RateForCountries(table.get(), country1, country2);
    if (answer.kind != ratesvc::FaultKind::kNone) return Fault(s, answer.kind, answer.strReason);
    if (ServiceOf(s).opts.bVerbose)
        Service::Log("getRate \"" + country1 + "\" \"" + country2 + "\" -> " + Number(answer.dRate));
    Result = static_cast<float>(answer.dRate);
    soap_set_namespaces(s, exchangeAnswerNamespaces);
    return SOAP_OK;
}

int ratesvc::ServeMain(int argc, char** argv) {
    Options opts;
    if (!ParseOptions(argc, argv, opts)) {
        Usage();
        return 2;
    }
    if (!opts.strNamespace.empty()) {
        namespaces[4].ns = opts.strNamespace.c_str();
        conversionAnswerNamespaces[1].ns = opts.strNamespace.c_str();
    }

    Service svc(opts);
    std::unique_ptr<ratesvc::CRateFetcher> fetcher;
    if (!opts.strRatesUrl.empty()) {
        fetcher = std::make_unique<ratesvc::CRateFetcher>(opts.strRatesUrl, svc.rates, Service::Log);
        fetcher->FetchOnce();
        fetcher->Start(std::chrono::seconds(opts.nFetchEverySec));
    }
    if (!svc.rates.Current())
        Service::Log("no rates yet; every call gets a fault until " + opts.strRates + " is a good file");

    soap* master = soap_new2(SOAP_IO_KEEPALIVE, SOAP_IO_KEEPALIVE);
    master->user = &svc;
    master->bind_flags = SO_REUSEADDR;
    master->accept_timeout = ratesvc::kHostAcceptWaitUsec;
    master->recv_timeout = opts.nIdleTimeoutSec;
    master->send_timeout = kSendTimeoutSec;
    master->max_keep_alive = kMaxKeepAlive;
    if (!soap_valid_socket(soap_bind(master, "127.0.0.1", opts.nPort, 128))) {
        Service::Log("cannot listen on 127.0.0.1:" + std::to_string(opts.nPort) + ": " + FaultText(master));
        soap_free(master);
        return 1;
    }
    const int port = BoundPort(master->master);
    if (!opts.strPortFile.empty()) {
        // Written whole under another name first, so a reader never sees half a number.
        const std::string tmp = opts.strPortFile + ".tmp";
        std::ofstream(tmp) << port << "\n";
        std::rename(tmp.c_str(), opts.strPortFile.c_str());
    }
    ratesvc::HostListening(port);
    Service::Log("listening on 127.0.0.1:" + std::to_string(port) + " (ConversionRate at " + kConversionRatePath +
                 ", getRate at " + kExchangeRatePath + ")");

    while (!ratesvc::g_stopRequested) {
        if (!soap_valid_socket(soap_accept(master))) {
            if (master->errnum && !ratesvc::g_stopRequested) {
                Service::Log(FaultText(master));
                std::this_thread::sleep_for(std::chrono::milliseconds(50));  // e.g. out of descriptors
            }
            continue;
        }
        std::unique_lock<std::mutex> lock(svc.mutex);
        if (static_cast<int>(svc.connections.size()) >= opts.nMaxConnections) {
            lock.unlock();
            Service::Log(std::to_string(opts.nMaxConnections) + " connections open; refusing another");
            soap_force_closesock(master);
            continue;
        }
        soap* conn = soap_copy(master);
        master->socket = SOAP_INVALID_SOCKET;  // now the connection's alone
        if (!conn) {
            lock.unlock();
            continue;
        }
        svc.connections.insert(conn);
        lock.unlock();
        std::thread(ServeConnection, conn).detach();
    }

    // Stop: no new connections; wake the open ones and wait for them to end.
    soap_closesock(master);
    {
        std::unique_lock<std::mutex> lock(svc.mutex);
#ifdef _WIN32
        for (soap* c : svc.connections) shutdown(c->socket, SD_BOTH);
#else
        for (soap* c : svc.connections) shutdown(c->socket, SHUT_RDWR);
#endif
        svc.idle.wait_for(lock, std::chrono::seconds(5), [&] { return svc.connections.empty(); });
    }
    soap_destroy(master);
    soap_end(master);
    soap_free(master);
    fetcher.reset();
    Service::Log("stopped");
    return 0;
}
