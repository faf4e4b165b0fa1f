#include "socket_ops.h"

#include <winsock2.h>

namespace ratesvc {

const std::chrono::milliseconds kStopCheckSlice = std::chrono::seconds(2);
const int kListenerBindFlag = SO_EXCLUSIVEADDRUSE;

void ShutdownSocket(std::uintptr_t sock, ShutdownHow how) {
    shutdown(static_cast<SOCKET>(sock), how == ShutdownHow::kSend ? SD_SEND : SD_BOTH);
}

bool WaitReadable(std::uintptr_t sock, int ms) {
    WSAPOLLFD p{static_cast<SOCKET>(sock), POLLIN, 0};
    return WSAPoll(&p, 1, ms) == 1;
}

long DropInput(std::uintptr_t sock, unsigned max) {
    char scratch[4096];
    return recv(static_cast<SOCKET>(sock), scratch, static_cast<int>(max < sizeof scratch ? max : sizeof scratch), 0);
}

int BoundPort(std::uintptr_t sock) {
    sockaddr_in addr{};
    int len = sizeof addr;
    if (getsockname(static_cast<SOCKET>(sock), reinterpret_cast<sockaddr*>(&addr), &len) != 0) return -1;
    return ntohs(addr.sin_port);
}

}  // namespace ratesvc
