// The few socket calls the server makes beside gSOAP's, the same on both
// platforms but for their headers and names (socket_ops_posix.cpp,
// socket_ops_win.cpp). Sockets are gSOAP's SOAP_SOCKET, passed as integers.
#pragma once

#include <cstdint>

namespace ratesvc {

enum class ShutdownHow { kSend, kBoth };
void ShutdownSocket(std::uintptr_t sock, ShutdownHow how);

// Waits up to `ms` milliseconds for `sock` to have something to read.
bool WaitReadable(std::uintptr_t sock, int ms);

// Reads and drops what `sock` has, up to `max` bytes in one call; the count,
// 0 at its end and below 0 on an error.
long DropInput(std::uintptr_t sock, unsigned max);

// The local port `sock` is bound to, or -1.
int BoundPort(std::uintptr_t sock);

}  // namespace ratesvc
