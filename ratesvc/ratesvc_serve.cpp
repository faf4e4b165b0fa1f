#include "ratesvc_serve.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>

#include "printable.h"
#include "rate_lookup.h"
#include "rates/service_defaults.h"
#include "socket_ops.h"
#include "soapH.h"

// SOAP 1.1 first, so that faults for requests too broken to tell the version
// still go out as SOAP 1.1. The "cr" entry is rewritten by --namespace.
struct Namespace namespaces[] = {
    {"SOAP-ENV", "http://schemas.xmlsoap.org/soap/envelope/", "http://www.w3.org/*/soap-envelope", nullptr},
    {"SOAP-ENC", "http://schemas.xmlsoap.org/soap/encoding/", "http://www.w3.org/*/soap-encoding", nullptr},
    {"xsi", "http://www.w3.org/2001/XMLSchema-instance", "http://www.w3.org/*/XMLSchema-instance", nullptr},
    {"xsd", "http://www.w3.org/2001/XMLSchema", "http://www.w3.org/*/XMLSchema", nullptr},
    {"cr", rates::kDefaultConversionRateNamespace, nullptr, nullptr},
    {"snp", rates::kExchangeRateNamespace, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr},
};

namespace ratesvc {

namespace {

// The answers declare only the namespaces they use: a ConversionRate answer
// needs the envelope's and the service's, getRate's no service namespace of
// the other contract. Requests are still read with the whole table.
struct Namespace conversionAnswerNamespaces[] = {
    {"SOAP-ENV", "http://schemas.xmlsoap.org/soap/envelope/", "http://www.w3.org/*/soap-envelope", nullptr},
    {"cr", rates::kDefaultConversionRateNamespace, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr},
};
struct Namespace exchangeAnswerNamespaces[] = {
    {"SOAP-ENV", "http://schemas.xmlsoap.org/soap/envelope/", "http://www.w3.org/*/soap-envelope", nullptr},
    {"SOAP-ENC", "http://schemas.xmlsoap.org/soap/encoding/", "http://www.w3.org/*/soap-encoding", nullptr},
    {"xsi", "http://www.w3.org/2001/XMLSchema-instance", "http://www.w3.org/*/XMLSchema-instance", nullptr},
    {"xsd", "http://www.w3.org/2001/XMLSchema", "http://www.w3.org/*/XMLSchema", nullptr},
    {"snp", rates::kExchangeRateNamespace, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr},
};

using rates::kConversionRatePath;
using rates::kExchangeRatePath;
constexpr char kStatusPath[] = "/status";
// More calls per connection than any client makes; gSOAP's own default (100)
// would drop a long-lived monitor connection every hundred polls.
constexpr int kMaxKeepAlive = 1000000;
// A fault string or detail is cut to this many printable bytes, whatever
// client text gSOAP or the service put in it.
constexpr size_t kMaxFaultText = 160;
// After a request that was too large, what is still on its way is read and
// dropped for a moment, so that the client sees the fault, not a reset.
constexpr size_t kMaxDiscard = 1u << 20;
constexpr int kDiscardMs = 500;

using Clock = CRequestBudget::Clock;

// What one connection needs beyond gSOAP's context.
struct Connection {
    Connection(CServeContext& c, Clock::time_point accepted) : context(c), budget(c.limits, accepted) {}

    CServeContext& context;
    int (*pfnParse)(soap*) = nullptr;                   // gSOAP's HTTP header parser
    int (*pfnParseLine)(soap*, const char*, const char*) = nullptr;  // and its parser of one header line
    size_t (*pfnRecv)(soap*, char*, size_t) = nullptr;  // the transport's read
    CRequestBudget budget;
    bool bInBody = false;
    ULONG64 nBodyStart = 0;  // soap->count where the current body begins
    bool bCut = false;       // input of this request ended at its Content-Length
    size_t nReceived = 0;    // bytes read for the request under way, header included
    bool bTooLarge = false;  // it announced or sent more than nMaxRequestBytes
    bool bBadLength = false; // its Content-Length was not a decimal number
    bool bHostSeen = false;  // it named a Host, and that is this service
    bool bForeign = false;   // it named another Host, or came from a web page (Origin)
    bool bServedGet = false; // a GET or another method was answered; the connection then closes
};

Connection& ConnectionOf(soap* s) { return *static_cast<Connection*>(s->user); }
CServeContext& ContextOf(soap* s) { return ConnectionOf(s).context; }

// gSOAP reads a request body until the XML ends, not until Content-Length is
// reached: a request cut short inside its XML would wait for bytes the client
// never sends. These two hooks make the end of the announced body an end of
// input, so such a request gets its fault at once; they also hold every
// request to the connection's size and time budget.
int ParseHttpHeader(soap* s) {
    Connection& c = ConnectionOf(s);
    c.bBadLength = false;
    c.bHostSeen = c.bForeign = false;
    const int err = c.pfnParse(s);
    if (!err && !c.bHostSeen) c.bForeign = true;  // HTTP/1.1 requires a Host; the program always sends one
    c.bInBody = !err;
    c.bCut = false;
    c.nBodyStart = s->count - (s->buflen - s->bufidx);
    // Refused before more of the body is read. Not as a parse error: gSOAP
    // would close the connection without the fault.
    // The length is cut down too: gSOAP reads some bodies whole into one
    // allocation of the length plus one, and twenty nines parse as 2^64-1.
    if (s->length > c.context.limits.nMaxRequestBytes) {
        c.bTooLarge = true;
        s->length = c.context.limits.nMaxRequestBytes + 1;
    }
    return err;
}

void SetRecvTimeout(soap* s, std::chrono::milliseconds wait) {
    // gSOAP reads positive values as seconds, negative ones as microseconds.
    const long long ms = wait.count();
    s->recv_timeout = ms >= 2000000 ? static_cast<int>(ms / 1000) : -static_cast<int>(ms * 1000);
}

// "127.0.0.1:48213" or "localhost:48213": the addresses the service is
// reached at on this computer. The port must be named, being no default.
bool IsOwnHost(std::string_view host, int port) {
    const std::string suffix = ":" + std::to_string(port);
    if (port <= 0 || host.size() <= suffix.size() || host.substr(host.size() - suffix.size()) != suffix) return false;
    const std::string_view name = host.substr(0, host.size() - suffix.size());
    return name == "127.0.0.1" || soap_tag_cmp(std::string(name).c_str(), "localhost") == 0;
}

// gSOAP reads "-97" as 97 or as 2^64-97, depending on the C library under
// it; where the body ends is then anyone's guess, so such a request is
// refused before its body is read.
int ParseHeaderLine(soap* s, const char* key, const char* value) {
    Connection& c = ConnectionOf(s);
    // Only the program, never a web page: a page's request carries an Origin,
    // and one that reaches us through a rebound DNS name carries that name
    // as its Host. Neither is answered.
    if (!soap_tag_cmp(key, "Origin")) c.bForeign = true;
    if (!soap_tag_cmp(key, "Host")) {
        if (IsOwnHost(value ? value : "", c.context.nPort)) c.bHostSeen = true;
        else c.bForeign = true;
    }
    if (!soap_tag_cmp(key, "Content-Length")) {
        std::string_view v = value ? value : "";
        while (!v.empty() && (v.front() == ' ' || v.front() == '\t')) v.remove_prefix(1);
        while (!v.empty() && (v.back() == ' ' || v.back() == '\t')) v.remove_suffix(1);
        if (v.empty() || v.find_first_not_of("0123456789") != std::string_view::npos) {
            c.bBadLength = true;
            return SOAP_OK;
        }
    }
    return c.pfnParseLine(s, key, value);
}

size_t RecvWithinBody(soap* s, char* buf, size_t len) {
    Connection& c = ConnectionOf(s);
    if (c.bBadLength || c.bForeign) return 0;
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
    // Header and body alike count, as read from the transport: a chunked
    // body or endless header lines hit the same wall as a large Content-Length.
    const size_t maxBytes = c.context.limits.nMaxRequestBytes;
    if (c.bTooLarge || c.nReceived >= maxBytes) {
        c.bTooLarge = true;
        return 0;
    }
    len = std::min(len, maxBytes - c.nReceived);
    auto wait = c.budget.NextWait(Clock::now());
    if (wait <= std::chrono::milliseconds::zero()) return 0;  // past the request's deadline: hang up
    // A stop must not wait out a kept-alive connection's idle time-out. Where
    // shutting the socket down does not wake a wait on it (Windows), the wait
    // goes in slices that look at the stop flag between them.
    if (c.context.pStopping && soap_valid_socket(s->socket)) {
        const auto until = Clock::now() + wait;
        while (!WaitReadable(static_cast<std::uintptr_t>(s->socket),
                             static_cast<int>(std::min(wait, kStopCheckSlice).count()))) {
            wait = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
            if (c.context.pStopping->load() || wait <= std::chrono::milliseconds::zero()) return 0;
        }
        wait = std::max(wait, std::chrono::milliseconds(1));
    }
    // Only for this read: gSOAP also writes recv_timeout into the Keep-Alive
    // header of its answers, which must go on naming the idle time-out.
    const int advertised = s->recv_timeout;
    SetRecvTimeout(s, wait);
    const size_t got = c.pfnRecv(s, buf, len);
    s->recv_timeout = advertised;
    if (got > 0 && c.budget.Idle() && c.context.idleChanged) c.context.idleChanged(s, false);
    if (got > 0) c.budget.OnBytes(Clock::now());
    c.nReceived += got;
    return got;
}

// The request path without any query part.
std::string RequestPath(const soap* s) {
    std::string path(s->path);
    const size_t q = path.find_first_of("?#");
    return q == std::string::npos ? path : path.substr(0, q);
}

// GET /status: where the rates come from, as plain text. Nothing of the
// request goes into it. Any other GET gets a plain 404.
int PlainAnswer(soap* s, int status, const std::string& text) {
    ConnectionOf(s).bServedGet = true;
    s->http_content = "text/plain; charset=utf-8";
    s->cors_origin = nullptr;
    if (soap_response(s, SOAP_FILE + status) || soap_send_raw(s, text.data(), text.size()) || soap_end_send(s))
        return s->error;
    return SOAP_OK;
}

int ServeGet(soap* s) {
    Connection& c = ConnectionOf(s);
    if (c.bForeign) return PlainAnswer(s, 403, "Only the Zelvane program on this computer is answered\n");
    const bool status = RequestPath(s) == kStatusPath && c.context.status;
    return status ? PlainAnswer(s, 200, c.context.status()) : PlainAnswer(s, 404, "Not found\n");
}

// OPTIONS (a web page's preflight), PUT, DELETE, PATCH, HEAD: one plain
// refusal, with no Access-Control header, and nothing after it.
int RefuseMethod(soap* s) { return PlainAnswer(s, 405, "Only GET /status and the SOAP POSTs are served\n"); }

int Fault(soap* s, FaultKind kind, const std::string& reason) {
    CServeContext& ctx = ContextOf(s);
    if (ctx.bVerbose && ctx.log) ctx.log("fault: " + reason);
    char* text = soap_strdup(s, reason.c_str());
    return kind == FaultKind::kClient ? soap_sender_fault(s, text, nullptr) : soap_receiver_fault(s, text, nullptr);
}

int WrongPath(soap* s, const char* operation, const char* path) {
    return Fault(s, FaultKind::kClient,
                 std::string(operation) + " is served at " + path + ", not at " + Printable(RequestPath(s), 48));
}

// The whole announced body has arrived, so the client waits for an answer.
bool BodyComplete(const soap* s, const Connection& c) {
    return c.bInBody && s->length > 0 && s->count >= c.nBodyStart && s->count - c.nBodyStart >= s->length;
}

bool EndsWith(std::string_view text, std::string_view end) {
    return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

// Every fault leaves through here, as a fresh Client or Server fault with a
// short, printable text and no detail. gSOAP's own faults are not sent as
// they stand: some name elements of any length, and one for a request that
// begins like a response ("X 399") carried the client's number as its HTTP
// status, a made-up fault code and, when its body had been read, that whole
// body raw in the detail.
void SendBoundedFault(soap* s) {
    soap_set_fault(s);  // fills the code and text for gSOAP's own errors
    const char** code = soap_faultcode(s);
    const char** text = soap_faultstring(s);
    const std::string_view codeText = code && *code ? *code : "";
    const bool server = EndsWith(codeText, ":Server") || EndsWith(codeText, ":Receiver");
    char* bounded = soap_strdup(s, Printable(text && *text ? *text : "Bad request", kMaxFaultText).c_str());
    s->fault = nullptr;  // a new one, so no detail or subcode of gSOAP's stays behind
    if (server) soap_receiver_fault(s, bounded, nullptr);
    else soap_sender_fault(s, bounded, nullptr);
    soap_send_fault(s);
}

void DiscardInput(soap* s) {
    if (!soap_valid_socket(s->socket)) return;
    const auto sock = static_cast<std::uintptr_t>(s->socket);
    ShutdownSocket(sock, ShutdownHow::kSend);
    const auto until = Clock::now() + std::chrono::milliseconds(kDiscardMs);
    for (size_t dropped = 0; dropped < kMaxDiscard;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
        if (left <= 0 || !WaitReadable(sock, static_cast<int>(left))) return;
        const long n = DropInput(sock, 4096);
        if (n <= 0) return;
        dropped += static_cast<size_t>(n);
    }
}

// soap_begin_serve without the fault it sends by itself when a request
// cannot even begin to be read: every fault goes out through SendBoundedFault.
int BeginRequest(soap* s) {
    soap_begin(s);
    if (soap_begin_recv(s) || soap_envelope_begin_in(s) || soap_recv_header(s) || soap_body_begin_in(s)) return s->error;
    return SOAP_OK;
}

// gSOAP's serve loop, except that no request goes unanswered: a body cut
// short at its Content-Length, one over the size bound, or a POST that is not
// SOAP at all (which gSOAP leaves to plug-ins this server does not have),
// gets a Client fault.
void ServeRequests(soap* conn, Connection& state) {
    conn->keep_alive = conn->max_keep_alive + 1;
    do {
        if (conn->keep_alive > 0 && conn->max_keep_alive > 0) conn->keep_alive--;
        soap_set_namespaces(conn, namespaces);
        int err = BeginRequest(conn);
        if (!err && state.bForeign) err = SOAP_STOP;  // refused below, before any operation runs
        if (!err) err = soap_serve_request(conn);
        if (!err) {
            // What a call allocates lives until soap_end: free it per call, or
            // a kept-alive connection grows for as long as it lives.
            soap_destroy(conn);
            soap_end(conn);
            state.budget.OnAnswered();
            if (state.context.idleChanged) state.context.idleChanged(conn, true);
            state.nReceived = 0;
            continue;
        }
        if (state.bServedGet) return;  // answered; gSOAP closes after a GET
        // Before an envelope was read gSOAP knows no SOAP version and would
        // write a fault code no SOAP 1.1 client can read.
        if (!conn->version) conn->version = 1;
        // gSOAP may give up on the cut input before it asks for more.
        if (state.nReceived >= state.context.limits.nMaxRequestBytes) state.bTooLarge = true;
        if (state.bForeign) {
            soap_sender_fault(conn, "Only the Zelvane program on this computer is answered", nullptr);
        } else if (state.bBadLength) {
            soap_sender_fault(conn, "The request's Content-Length is not a number", nullptr);
        } else if (state.bTooLarge) {
            const std::string text =
                "The request is larger than " + std::to_string(state.context.limits.nMaxRequestBytes) + " bytes";
            soap_sender_fault(conn, soap_strdup(conn, text.c_str()), nullptr);
        } else if (err >= SOAP_STOP) {
            soap_sender_fault(conn, "Not a SOAP request", nullptr);
        } else if (err == SOAP_EOF && (state.bCut || BodyComplete(conn, state))) {
            soap_sender_fault(conn, "The request ends inside its XML", nullptr);
        } else if (err == SOAP_EOF) {
            return;  // the client went away, was too slow, or an idle connection timed out
        }
        SendBoundedFault(conn);
        if (state.bTooLarge || state.bBadLength || state.bForeign) DiscardInput(conn);
        return;
    } while (conn->keep_alive);
}

}  // namespace

void ConfigureContext(soap* s, const CServeLimits& limits) {
    s->max_keep_alive = kMaxKeepAlive;
    s->cors_allow = nullptr;  // gSOAP's default, "*", would let any web page read the answers
    // gSOAP's own bounds behind the connection's: strings, nesting, and the
    // message (the hooks above see a large request first and fault it).
    s->maxlength = limits.nMaxStringBytes;
    s->maxlevel = limits.nMaxXmlDepth;
    s->recv_maxlength = limits.nMaxRequestBytes;
    const auto idle = std::chrono::duration_cast<std::chrono::seconds>(limits.idleTimeout).count();
    s->recv_timeout = static_cast<int>(std::clamp<long long>(idle, 1, 1000000));
}

const CRateBook& CurrentBook(CServeContext& context) {
    // A rates file changed on disk takes effect with the next call.
    context.pBook->TakeBankTable(context.pRates->Current(), WallClockNow());
    return *context.pBook;
}

std::string AnswerText(const CRateAnswer& answer) {
    char rate[32];
    std::snprintf(rate, sizeof rate, "%.10g", answer.dRate);
    return rate;
}

void ServeConnection(soap* conn, CServeContext& context) {
    Connection state(context, Clock::now());
    state.pfnParse = conn->fparse;
    state.pfnRecv = conn->frecv;
    state.pfnParseLine = conn->fparsehdr;
    void* const user = conn->user;
    conn->user = &state;
    conn->fparse = ParseHttpHeader;
    conn->frecv = RecvWithinBody;
    conn->fparsehdr = ParseHeaderLine;
    conn->fget = ServeGet;
    conn->fopt = conn->fput = conn->fdel = conn->fpatch = conn->fhead = RefuseMethod;
    ServeRequests(conn, state);
    conn->user = user;
    conn->fparse = state.pfnParse;
    conn->frecv = state.pfnRecv;
    conn->fparsehdr = state.pfnParseLine;
}

void SetConversionNamespace(const char* uri) {
    namespaces[4].ns = uri;
    conversionAnswerNamespaces[1].ns = uri;
}

}  // namespace ratesvc

using ratesvc::ContextOf;

// document/literal ConversionRate: three-letter codes in, the rate out.
int cr__ConversionRate(soap* s, std::string FromCurrency, std::string ToCurrency, double& ConversionRateResult) {
    if (ratesvc::RequestPath(s) != ratesvc::kConversionRatePath)
        return ratesvc::WrongPath(s, "ConversionRate", ratesvc::kConversionRatePath);
    ratesvc::CServeContext& ctx = ContextOf(s);
    const ratesvc::CRateAnswer answer =
        ratesvc::RateForCodes(ratesvc::CurrentBook(ctx), FromCurrency, ToCurrency, ratesvc::WallClockNow());
    if (answer.kind != ratesvc::FaultKind::kNone) return ratesvc::Fault(s, answer.kind, answer.strReason);
    if (ctx.bVerbose && ctx.log)
        ctx.log("ConversionRate " + ratesvc::Printable(FromCurrency, 48) + " " + ratesvc::Printable(ToCurrency, 48) +
                " -> " + ratesvc::AnswerText(answer));
    ConversionRateResult = answer.dRate;
    soap_set_namespaces(s, ratesvc::conversionAnswerNamespaces);
    return SOAP_OK;
}

// rpc/encoded getRate: country names in, the rate out as a float.
int snp__getRate(soap* s, std::string country1, std::string country2, float& Result) {
    if (ratesvc::RequestPath(s) != ratesvc::kExchangeRatePath)
        return ratesvc::WrongPath(s, "getRate", ratesvc::kExchangeRatePath);
    ratesvc::CServeContext& ctx = ContextOf(s);
    const ratesvc::CRateAnswer answer =
        ratesvc::RateForCountries(ratesvc::CurrentBook(ctx), country1, country2, ratesvc::WallClockNow());
    if (answer.kind != ratesvc::FaultKind::kNone) return ratesvc::Fault(s, answer.kind, answer.strReason);
    if (ctx.bVerbose && ctx.log)
        ctx.log("getRate " + ratesvc::Quoted(country1, 48) + " " + ratesvc::Quoted(country2, 48) + " -> " +
                ratesvc::AnswerText(answer));
    Result = static_cast<float>(answer.dRate);
    soap_set_namespaces(s, ratesvc::exchangeAnswerNamespaces);
    return SOAP_OK;
}
