// Whom the program believes at the other end of a loopback connection.
// Loopback ports are shared by every session of every user of a Windows
// computer: another user's process that binds the rate service's port
// first would get every query and answer with rates of its own. So before
// a request goes to a loopback endpoint, the process that accepted the
// connection must run as the program's own user. The decision is here; the
// Windows facts come from peer_owner_win.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace transport {

// An IPv4 (4 bytes) or IPv6 (16 bytes) address in network order: 127/8,
// ::1 and an IPv4-mapped 127/8.
bool IsLoopbackAddress(const unsigned char* address, size_t length);

// What the system told about the process behind the server end of a
// connection, step by step; each step only when the one before succeeded.
struct PeerOwnerFacts {
    bool rowFound = false;  // the connection's server end is in the TCP table
    uint32_t pid = 0;       // the owner the table names (0: none known)
    bool opened = false;    // that process could be opened for a query
    bool userRead = false;  // its token's user was read
    bool sameUser = false;  // and is the program's own
};

enum class PeerVerdict { kUnchecked, kBelieved, kRefused };

// Not loopback or waived: unchecked. Otherwise believed only when every
// step says it is the program's own user (or the program itself);
// whatever cannot be determined is refused.
PeerVerdict JudgePeer(bool loopback, bool waived, uint32_t ownPid, const PeerOwnerFacts& facts);

// Loopback endpoints whose owner is not checked, as written in their
// addresses (port 0: every port of that host). The user's own choice for
// the endpoints the program is set to; replaces the list before.
struct WaivedEndpoint {
    std::string host;
    uint16_t port = 0;
};
void SetOwnerCheckWaivers(std::vector<WaivedEndpoint> endpoints);
bool OwnerCheckWaived(const char* host, uint16_t port);

// Windows only (peer_owner_win.cpp). The facts about the process that owns
// the server end of a connected TCP socket (a SOCKET).
PeerOwnerFacts ReadPeerOwner(uintptr_t socket);
// The steps from "opened" on for a known process id.
void ReadProcessUser(uint32_t pid, PeerOwnerFacts* facts);

}  // namespace transport
