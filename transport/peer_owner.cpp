#include "transport/peer_owner.h"

#include <mutex>

namespace transport {

bool IsLoopbackAddress(const unsigned char* a, size_t length) {
    if (length == 4) return a[0] == 127;
    if (length != 16) return false;
    for (size_t i = 0; i < 10; ++i)
        if (a[i] != 0) return false;
    if (a[10] == 0xFF && a[11] == 0xFF) return a[12] == 127;  // ::ffff:127.x.y.z
    if (a[10] != 0 || a[11] != 0) return false;
    return a[12] == 0 && a[13] == 0 && a[14] == 0 && a[15] == 1;  // ::1
}

PeerVerdict JudgePeer(bool loopback, bool waived, uint32_t ownPid, const PeerOwnerFacts& facts) {
    if (!loopback || waived) return PeerVerdict::kUnchecked;
    // Pid 0 is the idle process, and what a table says for an owner it does
    // not know: never the user's own.
    if (!facts.rowFound || facts.pid == 0) return PeerVerdict::kRefused;
    if (facts.pid == ownPid) return PeerVerdict::kBelieved;
    return facts.opened && facts.userRead && facts.sameUser ? PeerVerdict::kBelieved : PeerVerdict::kRefused;
}

namespace {

std::mutex g_waiverLock;
std::vector<WaivedEndpoint> g_waivers;

bool SameHost(const std::string& a, const char* b) {
    size_t i = 0;
    for (; b[i]; ++i) {
        if (i == a.size()) return false;
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return i == a.size();
}

}  // namespace

void SetOwnerCheckWaivers(std::vector<WaivedEndpoint> endpoints) {
    std::lock_guard<std::mutex> hold(g_waiverLock);
    g_waivers = std::move(endpoints);
}

bool OwnerCheckWaived(const char* host, uint16_t port) {
    std::lock_guard<std::mutex> hold(g_waiverLock);
    for (const WaivedEndpoint& w : g_waivers)
        if ((w.port == 0 || w.port == port) && SameHost(w.host, host)) return true;
    return false;
}

}  // namespace transport
