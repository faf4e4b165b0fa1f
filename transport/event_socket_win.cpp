// Winsock 2 connection: every send and receive is an overlapped operation
// whose completion is awaited on an event object for at most the time-out,
// so the single GUI thread never blocks on the network without bound.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <cstdio>
#include <stdexcept>
#include <vector>

#include "transport/event_socket.h"
#include "transport/peer_owner.h"
#include "transport/resolver_win.h"

namespace {

// 10014 (WSAEFAULT) until WSAStartup succeeds; a failed start is retried by
// the next socket constructed.
struct WinsockStartup {
    int result = 10014;
    ~WinsockStartup() {
        if (result == 0) WSACleanup();
    }
};

void StartWinsock() {
    static WinsockStartup startup;
    if (startup.result != 0) {
        WSADATA data;
        startup.result = WSAStartup(MAKEWORD(2, 0), &data);
    }
}

class CriticalSection {
public:
    CriticalSection() {
        if (!InitializeCriticalSectionAndSpinCount(&m_cs, 0))
            throw std::runtime_error("critical section");
    }
    ~CriticalSection() { DeleteCriticalSection(&m_cs); }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;
    void Enter() { EnterCriticalSection(&m_cs); }
    void Leave() { LeaveCriticalSection(&m_cs); }

private:
    CRITICAL_SECTION m_cs;
};

class Hold {
public:
    explicit Hold(CriticalSection& cs) : m_cs(cs) { m_cs.Enter(); }
    ~Hold() { m_cs.Leave(); }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;

private:
    CriticalSection& m_cs;
};

bool Signalled(WSAEVENT event, DWORD ms) {
    if (event == WSA_INVALID_EVENT) return false;
    return WSAWaitForMultipleEvents(1, &event, TRUE, ms, FALSE) == WSA_WAIT_EVENT_0;
}

}  // namespace

struct CEventSocket::Impl {
    SOCKET socket = INVALID_SOCKET;
    WSAEVENT readEvent = WSA_INVALID_EVENT;
    WSAEVENT writeEvent = WSA_INVALID_EVENT;
    WSAEVENT connectEvent = WSA_INVALID_EVENT;
    bool connected = false;
    int lastError = 0;
    uint32_t timeout = kDefaultTimeout;
    CriticalSection sendLock;
    CriticalSection receiveLock;

    // Waits for an overlapped operation started on `event`. One that does
    // not finish in time is cancelled and awaited, because the system would
    // otherwise write into `overlapped` and the caller's buffer after they
    // are gone; data that arrived in the meantime still counts.
    bool Complete(WSAOVERLAPPED* overlapped, WSAEVENT event, size_t* bytes) {
        DWORD transferred = 0;
        DWORD flags = 0;
        if (Signalled(event, timeout)) {
            if (WSAGetOverlappedResult(socket, overlapped, &transferred, FALSE, &flags)) {
                *bytes = transferred;
                return true;
            }
            lastError = static_cast<int>(GetLastError());
            return false;
        }
        CancelIoEx(reinterpret_cast<HANDLE>(socket), overlapped);
        if (WSAGetOverlappedResult(socket, overlapped, &transferred, TRUE, &flags)) {
            *bytes = transferred;
            return true;
        }
        return false;  // timed out: no reason is stored
    }
};

CEventSocket::CEventSocket() : m_impl(new Impl) { StartWinsock(); }

CEventSocket::~CEventSocket() { Close(); }

bool CEventSocket::Create(int family, int type, int protocol) {
    if (m_impl->socket != INVALID_SOCKET) {
        m_impl->lastError = kWsaAlready;
        return false;
    }
    SOCKET s = WSASocketW(family, type, protocol, nullptr, 0, WSA_FLAG_OVERLAPPED);
    if (s == INVALID_SOCKET) {
        m_impl->lastError = WSAGetLastError();
        return false;
    }
    // A request goes out as its head and then its body in separate writes;
    // with Nagle's algorithm the body would wait for the server's delayed
    // acknowledgement of the head (40 ms on Linux, up to 200 on Windows).
    // Best effort: a socket without it still works.
    if (type == SOCK_STREAM) {
        const BOOL on = TRUE;
        setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    }
    return Attach(s);
}

bool CEventSocket::Attach(Handle handle) {
    Impl& s = *m_impl;
    SOCKET socket = static_cast<SOCKET>(handle);
    if (socket == INVALID_SOCKET) {
        s.lastError = kWsaNotSocket;
        return false;
    }
    s.socket = socket;
    s.readEvent = WSACreateEvent();
    s.writeEvent = WSACreateEvent();
    s.connectEvent = WSACreateEvent();
    if (s.readEvent == WSA_INVALID_EVENT || s.writeEvent == WSA_INVALID_EVENT ||
        s.connectEvent == WSA_INVALID_EVENT) {
        s.lastError = static_cast<int>(GetLastError());
        return false;
    }
    // Signalled: no send or receive is under way yet.
    WSASetEvent(s.writeEvent);
    WSASetEvent(s.readEvent);
    // Each selection replaces the one before: network notifications end up
    // on the connect event only; the other two follow the overlapped calls.
    if (WSAEventSelect(socket, s.readEvent, FD_READ) != 0 ||
        WSAEventSelect(socket, s.writeEvent, FD_WRITE) != 0 ||
        WSAEventSelect(socket, s.connectEvent, FD_CONNECT) != 0) {
        s.lastError = static_cast<int>(GetLastError());
        return false;
    }
    return true;
}

bool CEventSocket::Connect(const sockaddr* address, int length) {
    Impl& s = *m_impl;
    if (s.connected) return true;
    if (s.socket == INVALID_SOCKET) return false;
    WSAResetEvent(s.connectEvent);
    if (WSAConnect(s.socket, address, length, nullptr, nullptr, nullptr, nullptr) == 0) {
        s.connected = true;
        WSASetEvent(s.connectEvent);
        return true;
    }
    int error = WSAGetLastError();
    if (error == WSAEWOULDBLOCK) {
        // At most the fixed connect wait, and never past the time-out: the
        // caller's deadline for the exchange covers its connects too.
        if (Signalled(s.connectEvent, s.timeout < kConnectWait ? s.timeout : kConnectWait)) {
            WSANETWORKEVENTS events = {};
            // Without an event handle the connect event stays signalled,
            // which is what lets later sends and receives start.
            if (WSAEnumNetworkEvents(s.socket, nullptr, &events) != 0) {
                s.lastError = WSAGetLastError();
            } else if ((events.lNetworkEvents & FD_CONNECT) &&
                       events.iErrorCode[FD_CONNECT_BIT] == 0) {
                s.connected = true;
                return true;
            } else {
                s.lastError = events.iErrorCode[FD_CONNECT_BIT];
            }
        }
    } else {
        s.lastError = error;
    }
    // Winsock does not connect a socket again after a failed attempt: the
    // next attempt starts with a new one.
    Close();
    return false;
}

bool CEventSocket::ConnectTo(const char* host, uint16_t port) {
    if (m_impl->connected) return true;
    char service[8];
    std::snprintf(service, sizeof service, "%u", static_cast<unsigned>(port));
    ADDRINFOA hints = {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    ADDRINFOA* list = nullptr;
    const resolver::ResolverTable& table = resolver::Resolver();
    int error = table.getaddrinfo(host, service, &hints, &list);
    m_impl->lastError = error;
    if (error != 0) return false;
    // Only the first address is tried.
    bool ok = (m_impl->socket != INVALID_SOCKET ||
               Create(list->ai_family, list->ai_socktype, list->ai_protocol)) &&
              Connect(list->ai_addr, static_cast<int>(list->ai_addrlen));
    // Loopback is judged by the address connected to, so a name that leads
    // to this computer is checked like 127.0.0.1 is.
    bool loopback = false;
    if (list->ai_family == AF_INET)
        loopback = transport::IsLoopbackAddress(
            reinterpret_cast<const unsigned char*>(&reinterpret_cast<const sockaddr_in*>(list->ai_addr)->sin_addr), 4);
    else if (list->ai_family == AF_INET6)
        loopback = transport::IsLoopbackAddress(
            reinterpret_cast<const unsigned char*>(&reinterpret_cast<const sockaddr_in6*>(list->ai_addr)->sin6_addr),
            16);
    table.freeaddrinfo(list);
    if (ok && loopback) {
        const bool waived = transport::OwnerCheckWaived(host, port);
        const transport::PeerOwnerFacts facts = waived ? transport::PeerOwnerFacts{} : transport::ReadPeerOwner(m_impl->socket);
        if (transport::JudgePeer(loopback, waived, GetCurrentProcessId(), facts) == transport::PeerVerdict::kRefused) {
            Close();
            m_impl->lastError = kErrorForeignPeer;
            return false;
        }
    }
    return ok;
}

bool CEventSocket::Write(const ConstBuffer* buffers, size_t count, size_t* sent) {
    Impl& s = *m_impl;
    *sent = 0;
    if (!Signalled(s.connectEvent, s.timeout)) {
        s.lastError = kWsaNotConnected;
        return false;
    }
    if (!Signalled(s.writeEvent, 0)) {
        s.lastError = kWsaInProgress;
        return false;
    }
    WSABUF inlineBuffers[4];
    std::vector<WSABUF> heapBuffers;
    WSABUF* wsabufs = inlineBuffers;
    if (count > 4) {
        heapBuffers.resize(count);
        wsabufs = heapBuffers.data();
    }
    for (size_t i = 0; i < count; ++i) {
        wsabufs[i].buf = const_cast<char*>(buffers[i].data);
        wsabufs[i].len = static_cast<ULONG>(buffers[i].size);
    }
    Hold hold(s.sendLock);
    WSAResetEvent(s.writeEvent);
    WSAOVERLAPPED overlapped = {};
    overlapped.hEvent = s.writeEvent;
    DWORD bytes = 0;
    if (WSASend(s.socket, wsabufs, static_cast<DWORD>(count), &bytes, 0, &overlapped, nullptr) != 0) {
        int error = WSAGetLastError();
        if (error != WSA_IO_PENDING) {
            s.lastError = error;
            WSASetEvent(s.writeEvent);  // nothing is pending
            return false;
        }
    }
    return s.Complete(&overlapped, s.writeEvent, sent);
}

bool CEventSocket::Read(char* buffer, size_t* size) {
    Impl& s = *m_impl;
    if (!Signalled(s.connectEvent, s.timeout)) {
        s.lastError = kWsaNotConnected;
        return false;
    }
    Hold hold(s.receiveLock);
    WSAResetEvent(s.readEvent);
    WSABUF wsabuf;
    wsabuf.buf = buffer;
    wsabuf.len = static_cast<ULONG>(*size > 0x7FFFFFFF ? 0x7FFFFFFF : *size);
    WSAOVERLAPPED overlapped = {};
    overlapped.hEvent = s.readEvent;
    DWORD bytes = 0;
    DWORD flags = 0;
    if (WSARecv(s.socket, &wsabuf, 1, &bytes, &flags, &overlapped, nullptr) != 0) {
        int error = WSAGetLastError();
        if (error != WSA_IO_PENDING) {
            s.lastError = error;
            WSASetEvent(s.readEvent);
            return false;
        }
    }
    return s.Complete(&overlapped, s.readEvent, size);
}

void CEventSocket::Close() {
    Impl& s = *m_impl;
    if (s.socket == INVALID_SOCKET) return;
    s.connected = false;
    closesocket(s.socket);
    s.socket = INVALID_SOCKET;
    for (WSAEVENT* event : {&s.readEvent, &s.writeEvent, &s.connectEvent}) {
        if (*event != WSA_INVALID_EVENT) {
            WSACloseEvent(*event);
            *event = WSA_INVALID_EVENT;
        }
    }
}

bool CEventSocket::IsConnected() const { return m_impl->connected; }
int CEventSocket::LastError() const { return m_impl->lastError; }
void CEventSocket::SetTimeout(uint32_t ms) { m_impl->timeout = ms; }
