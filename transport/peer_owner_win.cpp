// The Windows facts behind JudgePeer: the TCP table row of the connection's
// server end, and its owner's token user compared with the program's own.
//
// The connected socket's own row is looked up, after the connect and before
// any byte is sent, rather than the listener the address names: it is the
// process that accepted this very connection, with no window between the
// look-up and the connect for another listener to take the port, and no
// guessing between a listener on 127.0.0.1 and one on every address.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <iphlpapi.h>

#include <cstring>
#include <memory>
#include <vector>

#include "transport/peer_owner.h"
#include "ui/scoped_handle.h"

namespace transport {
namespace {

// The table grows between the size query and the read when connections
// come and go: a few tries with room to spare.
bool ReadTable(ULONG family, std::vector<unsigned char>* table) {
    DWORD size = 0;
    for (int attempt = 0; attempt < 4; ++attempt) {
        table->resize(size + 4096);
        size = static_cast<DWORD>(table->size());
        const DWORD r =
            GetExtendedTcpTable(table->data(), &size, FALSE, family, TCP_TABLE_OWNER_PID_CONNECTIONS, 0);
        if (r == NO_ERROR) return true;
        if (r != ERROR_INSUFFICIENT_BUFFER) return false;
    }
    return false;
}

// Ports in the table are in network order in the low 16 bits.
bool SamePort(DWORD tablePort, u_short port) { return static_cast<u_short>(tablePort) == port; }

bool FindServerRow(const sockaddr_storage& client, const sockaddr_storage& server, uint32_t* pid) {
    std::vector<unsigned char> buffer;
    if (client.ss_family == AF_INET) {
        const auto& c = reinterpret_cast<const sockaddr_in&>(client);
        const auto& s = reinterpret_cast<const sockaddr_in&>(server);
        if (!ReadTable(AF_INET, &buffer)) return false;
        const auto* table = reinterpret_cast<const MIB_TCPTABLE_OWNER_PID*>(buffer.data());
        for (DWORD i = 0; i < table->dwNumEntries; ++i) {
            const MIB_TCPROW_OWNER_PID& row = table->table[i];
            if (row.dwLocalAddr == s.sin_addr.s_addr && SamePort(row.dwLocalPort, s.sin_port) &&
                row.dwRemoteAddr == c.sin_addr.s_addr && SamePort(row.dwRemotePort, c.sin_port)) {
                *pid = row.dwOwningPid;
                return true;
            }
        }
        return false;
    }
    if (client.ss_family == AF_INET6) {
        const auto& c = reinterpret_cast<const sockaddr_in6&>(client);
        const auto& s = reinterpret_cast<const sockaddr_in6&>(server);
        if (!ReadTable(AF_INET6, &buffer)) return false;
        const auto* table = reinterpret_cast<const MIB_TCP6TABLE_OWNER_PID*>(buffer.data());
        for (DWORD i = 0; i < table->dwNumEntries; ++i) {
            const MIB_TCP6ROW_OWNER_PID& row = table->table[i];
            if (std::memcmp(row.ucLocalAddr, &s.sin6_addr, 16) == 0 && SamePort(row.dwLocalPort, s.sin6_port) &&
                std::memcmp(row.ucRemoteAddr, &c.sin6_addr, 16) == 0 && SamePort(row.dwRemotePort, c.sin6_port)) {
                *pid = row.dwOwningPid;
                return true;
            }
        }
    }
    return false;
}

// The token's user SID, copied out; null when it cannot be read.
std::unique_ptr<unsigned char[]> TokenUser(HANDLE process) {
    HANDLE raw = nullptr;
    if (!OpenProcessToken(process, TOKEN_QUERY, &raw)) return nullptr;
    ui::ScopedHandle token(raw);
    DWORD size = 0;
    GetTokenInformation(token.get(), ::TokenUser, nullptr, 0, &size);
    if (size == 0) return nullptr;
    auto info = std::make_unique<unsigned char[]>(size);
    if (!GetTokenInformation(token.get(), ::TokenUser, info.get(), size, &size)) return nullptr;
    return info;
}

PSID SidOf(const std::unique_ptr<unsigned char[]>& info) {
    return reinterpret_cast<const TOKEN_USER*>(info.get())->User.Sid;
}

}  // namespace

void ReadProcessUser(uint32_t pid, PeerOwnerFacts* facts) {
    // Another user's process refuses even this little to a normal user:
    // that is the main case of a port taken by someone else.
    ui::ScopedHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    facts->opened = static_cast<bool>(process);
    if (!facts->opened) return;
    const auto theirs = TokenUser(process.get());
    const auto ours = TokenUser(GetCurrentProcess());
    facts->userRead = theirs && ours;
    facts->sameUser = facts->userRead && EqualSid(SidOf(theirs), SidOf(ours));
}

PeerOwnerFacts ReadPeerOwner(uintptr_t socket) {
    PeerOwnerFacts facts;
    sockaddr_storage client = {};
    sockaddr_storage server = {};
    int clientLength = sizeof client;
    int serverLength = sizeof server;
    const SOCKET s = static_cast<SOCKET>(socket);
    if (getsockname(s, reinterpret_cast<sockaddr*>(&client), &clientLength) != 0 ||
        getpeername(s, reinterpret_cast<sockaddr*>(&server), &serverLength) != 0)
        return facts;
    facts.rowFound = FindServerRow(client, server, &facts.pid);
    if (facts.rowFound && facts.pid != 0) ReadProcessUser(facts.pid, &facts);
    return facts;
}

}  // namespace transport
