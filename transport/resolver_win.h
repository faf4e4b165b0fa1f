// Name resolution for the Winsock connection: getaddrinfo, getnameinfo and
// freeaddrinfo are looked up at run time, and an IPv4-only substitute set
// stands in on systems whose Winsock has none.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>

namespace resolver {

using GetAddrInfoFn = int(WSAAPI*)(const char* host, const char* service, const ADDRINFOA* hints,
                                   ADDRINFOA** result);
using GetNameInfoFn = int(WSAAPI*)(const sockaddr* address, socklen_t length, char* host,
                                   DWORD hostSize, char* service, DWORD serviceSize, int flags);
using FreeAddrInfoFn = void(WSAAPI*)(ADDRINFOA* list);

struct ResolverTable {
    GetAddrInfoFn getaddrinfo;
    GetNameInfoFn getnameinfo;
    FreeAddrInfoFn freeaddrinfo;
    bool fromSystem;  // false: the substitutes below
};

// Filled on first use, once per process.
const ResolverTable& Resolver();

int WSAAPI SubstituteGetAddrInfo(const char* host, const char* service, const ADDRINFOA* hints,
                                 ADDRINFOA** result);
int WSAAPI SubstituteGetNameInfo(const sockaddr* address, socklen_t length, char* host,
                                 DWORD hostSize, char* service, DWORD serviceSize, int flags);
void WSAAPI SubstituteFreeAddrInfo(ADDRINFOA* list);

}  // namespace resolver
