// One connection of the local rate service: gSOAP's request loop over a
// connected context, with the service's bounds on every request and a fault
// for every request that gets no answer. Used by the server's threads and,
// fed from memory, by the request-path fuzz target.
#pragma once

#include <atomic>
#include <functional>
#include <string>

#include "rate_book.h"
#include "rate_file.h"
#include "request_budget.h"

struct soap;

namespace ratesvc {

struct CServeContext {
    CRateFile* pRates = nullptr;  // the bank's file, looked at before each answer
    CRateBook* pBook = nullptr;
    std::function<std::string()> status;  // the text of GET /status
    int nPort = 0;  // the port it listens on: a request's Host must name it
    const std::atomic<bool>* pStopping = nullptr;  // set when the service stops
    // Told when a connection starts waiting for its next request (true) and
    // when that request begins (false), so idle connections can be found.
    std::function<void(soap*, bool idle)> idleChanged;
    CServeLimits limits;
    bool bVerbose = false;
    // One line per call with --verbose; already printable.
    std::function<void(const std::string&)> log;
};

// Sets the bounds of `limits` and the keep-alive count on a context that
// connections are then copied from.
void ConfigureContext(soap* s, const CServeLimits& limits);

// Serves the requests of one connection until the client closes it, an idle
// wait or a deadline runs out, or a request gets a fault. `conn->frecv` and
// `conn->fparse` are the transport's; they are wrapped for the duration.
// Does not close or free the context.
void ServeConnection(soap* conn, CServeContext& context);

// The book, with the bank's file as it is on disk now.
const CRateBook& CurrentBook(CServeContext& context);
// A rate as the verbose log writes it.
std::string AnswerText(const CRateAnswer& answer);

// Serves ConversionRate in namespace `uri` instead of the compiled-in one;
// before any connection is served. `uri` must outlive the service.
void SetConversionNamespace(const char* uri);

}  // namespace ratesvc
