// The native twin of the Winsock connection: a non-blocking socket whose
// waits are bounded by poll(), storing the Winsock numbers for the same
// conditions so callers and tests see one behaviour.
#include "transport/event_socket.h"

#include <cerrno>
#include <chrono>
#include <cstdio>

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

namespace {

int WinsockNumber(int error) {
    switch (error) {
    case EINVAL: return 10022;
    case EMFILE: return 10024;
    case EAFNOSUPPORT: return 10047;
    case EADDRINUSE: return 10048;
    case ENETUNREACH: return 10051;
    case EPIPE:
    case ECONNABORTED: return 10053;
    case ECONNRESET: return 10054;
    case ENOBUFS: return 10055;
    case ENOTCONN: return kWsaNotConnected;
    case ETIMEDOUT: return 10060;
    case ECONNREFUSED: return 10061;
    case EHOSTUNREACH: return 10065;
    default: return error;
    }
}

int ResolverNumber(int error) {
    switch (error) {
    case EAI_AGAIN: return 11002;
    case EAI_FAIL: return 11003;
    case EAI_FAMILY: return 10047;
    case EAI_SOCKTYPE: return 10044;
    case EAI_SERVICE: return 10109;
    case EAI_MEMORY: return 8;
    default: return kWsaHostNotFound;
    }
}

// 1 ready, 0 timed out, -1 failed.
int WaitFor(int fd, short events, uint32_t ms) {
    pollfd p = {fd, events, 0};
    for (;;) {
        int n = ::poll(&p, 1, static_cast<int>(ms > 0x7FFFFFFF ? 0x7FFFFFFF : ms));
        if (n < 0 && errno == EINTR) continue;
        return n < 0 ? -1 : (n > 0 ? 1 : 0);
    }
}

}  // namespace

struct CEventSocket::Impl {
    int fd = -1;
    bool connected = false;
    int lastError = 0;
    uint32_t timeout = kDefaultTimeout;
};

CEventSocket::CEventSocket() : m_impl(new Impl) {}

CEventSocket::~CEventSocket() { Close(); }

bool CEventSocket::Create(int family, int type, int protocol) {
    if (m_impl->fd >= 0) {
        m_impl->lastError = kWsaAlready;
        return false;
    }
    int fd = ::socket(family, type | SOCK_CLOEXEC, protocol);
    if (fd < 0) {
        m_impl->lastError = WinsockNumber(errno);
        return false;
    }
    // As on Windows: the body of a request must not wait behind Nagle's
    // algorithm for the acknowledgement of its head.
    if (type == SOCK_STREAM) {
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }
    if (!Attach(fd)) {
        ::close(fd);
        return false;
    }
    return true;
}

bool CEventSocket::Attach(Handle socket) {
    if (socket < 0) {
        m_impl->lastError = kWsaNotSocket;
        return false;
    }
    int flags = ::fcntl(socket, F_GETFL);
    if (flags < 0 || ::fcntl(socket, F_SETFL, flags | O_NONBLOCK) < 0) {
        m_impl->lastError = WinsockNumber(errno);
        return false;
    }
    m_impl->fd = socket;
    return true;
}

bool CEventSocket::Connect(const sockaddr* address, int length) {
    Impl& s = *m_impl;
    if (s.connected) return true;
    if (s.fd < 0) return false;
    if (::connect(s.fd, address, static_cast<socklen_t>(length)) == 0) {
        s.connected = true;
        return true;
    }
    if (errno == EINPROGRESS) {
        // At most the fixed connect wait, and never past the time-out: the
        // caller's deadline for the exchange covers its connects too.
        if (WaitFor(s.fd, POLLOUT, s.timeout < kConnectWait ? s.timeout : kConnectWait) == 1) {
            int error = 0;
            socklen_t len = sizeof error;
            if (::getsockopt(s.fd, SOL_SOCKET, SO_ERROR, &error, &len) == 0 && error == 0) {
                s.connected = true;
                return true;
            }
            s.lastError = WinsockNumber(error ? error : errno);
        }
    } else {
        s.lastError = WinsockNumber(errno);
    }
    // A socket whose connect failed cannot be connected again; the next
    // attempt starts with a fresh one.
    Close();
    return false;
}

bool CEventSocket::ConnectTo(const char* host, uint16_t port) {
    if (m_impl->connected) return true;
    char service[8];
    std::snprintf(service, sizeof service, "%u", static_cast<unsigned>(port));
    addrinfo hints = {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    int error = ::getaddrinfo(host, service, &hints, &list);
    if (error != 0) {
        m_impl->lastError = ResolverNumber(error);
        return false;
    }
    m_impl->lastError = 0;
    // Only the first address is tried, as on Windows.
    bool ok = (m_impl->fd >= 0 || Create(list->ai_family, list->ai_socktype, list->ai_protocol)) &&
              Connect(list->ai_addr, static_cast<int>(list->ai_addrlen));
    ::freeaddrinfo(list);
    return ok;
}

bool CEventSocket::Write(const ConstBuffer* buffers, size_t count, size_t* sent) {
    Impl& s = *m_impl;
    *sent = 0;
    if (!s.connected) {
        s.lastError = kWsaNotConnected;
        return false;
    }
    size_t total = 0;
    for (size_t i = 0; i < count; ++i) total += buffers[i].size;
    size_t done = 0;
    // One write is one operation, as on Windows: a peer that takes a few
    // bytes before each wait ends must not stretch it past the time-out.
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(s.timeout);
    while (done < total) {
        iovec iov[16];
        int n = 0;
        size_t skip = done;
        for (size_t i = 0; i < count && n < 16; ++i) {
            if (skip >= buffers[i].size) {
                skip -= buffers[i].size;
                continue;
            }
            iov[n].iov_base = const_cast<char*>(buffers[i].data + skip);
            iov[n].iov_len = buffers[i].size - skip;
            skip = 0;
            ++n;
        }
        msghdr msg = {};
        msg.msg_iov = iov;
        msg.msg_iovlen = static_cast<size_t>(n);
        ssize_t r = ::sendmsg(s.fd, &msg, MSG_NOSIGNAL);
        if (r >= 0) {
            done += static_cast<size_t>(r);
            continue;
        }
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            s.lastError = WinsockNumber(errno);
            return false;
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return false;  // timed out: nothing stored
        int ready = WaitFor(s.fd, POLLOUT, static_cast<uint32_t>(left));
        if (ready == 0) return false;
        if (ready < 0) {
            s.lastError = WinsockNumber(errno);
            return false;
        }
    }
    *sent = done;
    return true;
}

bool CEventSocket::Read(char* buffer, size_t* size) {
    Impl& s = *m_impl;
    if (!s.connected) {
        s.lastError = kWsaNotConnected;
        return false;
    }
    // A readiness that turns out spurious must not restart the wait.
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(s.timeout);
    for (;;) {
        ssize_t r = ::recv(s.fd, buffer, *size, 0);
        if (r >= 0) {
            *size = static_cast<size_t>(r);
            return true;
        }
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            s.lastError = WinsockNumber(errno);
            return false;
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return false;  // timed out: nothing stored
        int ready = WaitFor(s.fd, POLLIN, static_cast<uint32_t>(left));
        if (ready == 0) return false;
        if (ready < 0) {
            s.lastError = WinsockNumber(errno);
            return false;
        }
    }
}

void CEventSocket::Close() {
    if (m_impl->fd >= 0) {
        m_impl->connected = false;
        ::close(m_impl->fd);
        m_impl->fd = -1;
    }
}

bool CEventSocket::IsConnected() const { return m_impl->connected; }
int CEventSocket::LastError() const { return m_impl->lastError; }
void CEventSocket::SetTimeout(uint32_t ms) { m_impl->timeout = ms; }
