#include "socket_ops.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

namespace ratesvc {

const std::chrono::milliseconds kStopCheckSlice = std::chrono::hours(24);
const int kListenerBindFlag = SO_REUSEADDR;

void ShutdownSocket(std::uintptr_t sock, ShutdownHow how) {
    shutdown(static_cast<int>(sock), how == ShutdownHow::kSend ? SHUT_WR : SHUT_RDWR);
}

bool WaitReadable(std::uintptr_t sock, int ms) {
    pollfd p{static_cast<int>(sock), POLLIN, 0};
    return poll(&p, 1, ms) == 1;
}

long DropInput(std::uintptr_t sock, unsigned max) {
    char scratch[4096];
    return recv(static_cast<int>(sock), scratch, max < sizeof scratch ? max : sizeof scratch, 0);
}

int BoundPort(std::uintptr_t sock) {
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    if (getsockname(static_cast<int>(sock), reinterpret_cast<sockaddr*>(&addr), &len) != 0) return -1;
    return ntohs(addr.sin_port);
}

}  // namespace ratesvc
