// The few socket calls the server makes beside gSOAP's, the same on both
// platforms but for their headers and names (socket_ops_posix.cpp,
// socket_ops_win.cpp). Sockets are gSOAP's SOAP_SOCKET, passed as integers.
#pragma once

#include <chrono>
#include <cstdint>

namespace ratesvc {

// The socket option the listener is bound with. On Windows
// SO_EXCLUSIVEADDRUSE: SO_REUSEADDR there would let any later process, of
// any user, bind the same port beside the service and take its calls.
// Elsewhere SO_REUSEADDR, which only lets a restart bind past TIME_WAIT.
extern const int kListenerBindFlag;

enum class ShutdownHow { kSend, kBoth };
void ShutdownSocket(std::uintptr_t sock, ShutdownHow how);

// The longest one wait for a socket may last before a waiting worker looks
// whether the service stops: on Windows shutting a socket down does not end
// a wait on it; elsewhere it does, and a wait need not be cut.
extern const std::chrono::milliseconds kStopCheckSlice;

// Waits up to `ms` milliseconds for `sock` to have something to read.
bool WaitReadable(std::uintptr_t sock, int ms);

// Reads and drops what `sock` has, up to `max` bytes in one call; the count,
// 0 at its end and below 0 on an error.
long DropInput(std::uintptr_t sock, unsigned max);

// The local port `sock` is bound to, or -1.
int BoundPort(std::uintptr_t sock);

}  // namespace ratesvc
