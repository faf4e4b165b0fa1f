// The TCP connection under the HTTP client. On Windows it is a Winsock 2
// socket whose sends and receives are overlapped operations awaited on
// event objects; natively a non-blocking POSIX socket awaited with poll().
// Either way no wait lasts longer than the time-out (the connect wait is at
// most 10 s), and a failure leaves a Winsock error number in LastError().
#pragma once

#include <cstdint>
#include <memory>

#include "transport/connection.h"

struct sockaddr;

// Winsock error numbers this class stores itself (the POSIX twin stores
// the same numbers for the same conditions).
constexpr int kWsaInProgress = 10036;
constexpr int kWsaAlready = 10037;
constexpr int kWsaNotSocket = 10038;
constexpr int kWsaNotConnected = 10057;
constexpr int kWsaHostNotFound = 11001;

class CEventSocket final : public IConnection {
public:
#ifdef _WIN32
    using Handle = std::uintptr_t;  // SOCKET
#else
    using Handle = int;
#endif
    static constexpr uint32_t kDefaultTimeout = 10000;
    static constexpr uint32_t kConnectWait = 10000;

    CEventSocket();
    ~CEventSocket() override;
    CEventSocket(const CEventSocket&) = delete;
    CEventSocket& operator=(const CEventSocket&) = delete;

    bool Create(int family, int type, int protocol);
    bool Attach(Handle socket);
    bool Connect(const sockaddr* address, int length);

    bool ConnectTo(const char* host, uint16_t port) override;
    bool Write(const ConstBuffer* buffers, size_t count, size_t* sent) override;
    bool Read(char* buffer, size_t* size) override;
    void Close() override;
    bool IsConnected() const override;
    int LastError() const override;
    void SetTimeout(uint32_t ms) override;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};
