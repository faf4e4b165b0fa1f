// The byte-stream connection the HTTP client talks through. The Winsock
// socket, its POSIX twin and the in-memory connections of the tests all
// implement it, so the protocol code never sees a platform header.
#pragma once

#include <cstddef>
#include <cstdint>

// LastError() after ConnectTo refused a loopback server that does not run
// as this program's user (transport/peer_owner.h); nothing was sent to it.
// Bit 29 marks an error number of the application's own, which no system
// call gives.
constexpr int kErrorForeignPeer = 0x20000001;

struct ConstBuffer {
    const char* data;
    size_t size;
};

class IConnection {
public:
    virtual ~IConnection() = default;
    // Resolves and connects; true at once when already connected (host and
    // port are not compared with the open connection's).
    virtual bool ConnectTo(const char* host, uint16_t port) = 0;
    // One gathered send of all buffers; *sent = bytes accepted.
    virtual bool Write(const ConstBuffer* buffers, size_t count, size_t* sent) = 0;
    // *size in: room in buffer, out: bytes received (0 = peer closed).
    virtual bool Read(char* buffer, size_t* size) = 0;
    virtual void Close() = 0;
    virtual bool IsConnected() const = 0;
    virtual int LastError() const = 0;
    // Bound of every later send and receive wait, in milliseconds.
    virtual void SetTimeout(uint32_t ms) = 0;
};
