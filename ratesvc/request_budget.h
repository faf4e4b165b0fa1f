// How much one client may take of the service: bytes per request, and time.
// Portable; the gSOAP connection code asks it before every receive.
#pragma once

#include <chrono>
#include <cstddef>

namespace ratesvc {

struct CServeLimits {
    // Header and body of one request. The program's requests are under 1 KB;
    // without a bound one 300 MB request took over a gigabyte of memory.
    size_t nMaxRequestBytes = 64 * 1024;
    // Any one string inside a request (codes are 3 bytes, country names < 20).
    long nMaxStringBytes = 256;
    unsigned nMaxXmlDepth = 32;
    // One wait for bytes once a request has begun.
    std::chrono::milliseconds receiveTimeout{5000};
    // One whole request, from its first byte; the first request of a
    // connection from the moment it was accepted.
    std::chrono::milliseconds requestDeadline{20000};
    // Between requests on a kept-alive connection: longer than the slowest
    // poll period (290 s), so a monitoring client keeps its connection.
    std::chrono::milliseconds idleTimeout{600000};
};

// How long a kept-alive connection may stay idle while `open` of `max`
// connection slots are taken: the whole idle time-out while at most half
// are, then shrinking with the free slots, to a second when none is free.
// One client holding idle connections cannot keep the program out.
std::chrono::milliseconds IdleBound(std::chrono::milliseconds idleTimeout, int open, int max);

// The time budget of one connection. Without it a client sending a byte per
// receive time-out could hold a connection slot for as long as it liked.
class CRequestBudget {
public:
    using Clock = std::chrono::steady_clock;

    CRequestBudget(const CServeLimits& limits, Clock::time_point accepted)
        : m_limits(limits), m_requestStart(accepted) {}

    // How long the next wait for bytes may last; zero when the request's
    // deadline has passed and the connection should end.
    std::chrono::milliseconds NextWait(Clock::time_point now) const;

    // Bytes arrived; the first of a request that follows an idle wait start
    // that request's deadline.
    void OnBytes(Clock::time_point now);
    // A request was answered: the next wait is an idle one.
    void OnAnswered() { m_bIdle = true; }

    // Waiting for a later request, not inside one.
    bool Idle() const { return m_bIdle; }

private:
    const CServeLimits& m_limits;
    Clock::time_point m_requestStart;
    bool m_bIdle = false;  // the first request is under its deadline from the start
};

}  // namespace ratesvc
