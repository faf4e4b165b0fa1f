#include "transport/resolver_win.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace resolver {
namespace {

template <typename Fn>
Fn ProcAs(HMODULE module, const char* name) {
    // Through a plain function type: the cast between unrelated function
    // pointer types is the documented way, and GetProcAddress gives FARPROC.
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

ResolverTable LoadTable() {
    ResolverTable table = {SubstituteGetAddrInfo, SubstituteGetNameInfo, SubstituteFreeAddrInfo,
                           false};
    wchar_t dir[MAX_PATH];
    UINT n = GetSystemDirectoryW(dir, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return table;
    for (const wchar_t* name : {L"\\ws2_32", L"\\wship6"}) {
        std::wstring path(dir, n);
        path += name;
        HMODULE module = LoadLibraryW(path.c_str());
        if (!module) continue;
        GetAddrInfoFn gai = ProcAs<GetAddrInfoFn>(module, "getaddrinfo");
        if (!gai) {
            FreeLibrary(module);
            continue;
        }
        GetNameInfoFn gni = ProcAs<GetNameInfoFn>(module, "getnameinfo");
        FreeAddrInfoFn fai = ProcAs<FreeAddrInfoFn>(module, "freeaddrinfo");
        if (!gni || !fai) {
            FreeLibrary(module);
            return table;
        }
        // The library stays loaded for the life of the process.
        return {gai, gni, fai, true};
    }
    return table;
}

bool AllDigits(const char* text) {
    if (!*text) return false;
    for (; *text; ++text)
        if (*text < '0' || *text > '9') return false;
    return true;
}

int CountDots(const char* text) {
    int dots = 0;
    for (; *text; ++text) dots += *text == '.';
    return dots;
}

struct Target {
    int socktype;
    u_short port;  // network order
};

ADDRINFOA* NewResult(u_long address, const Target& target, int protocol) {
    void* block = std::calloc(1, sizeof(ADDRINFOA) + sizeof(sockaddr_in));
    if (!block) return nullptr;
    ADDRINFOA* ai = static_cast<ADDRINFOA*>(block);
    sockaddr_in* sin = reinterpret_cast<sockaddr_in*>(ai + 1);
    sin->sin_family = AF_INET;
    sin->sin_port = target.port;
    sin->sin_addr.s_addr = address;
    ai->ai_family = AF_INET;
    ai->ai_socktype = target.socktype;
    ai->ai_protocol = protocol ? protocol
                               : (target.socktype == SOCK_DGRAM ? IPPROTO_UDP
                                                                : (target.socktype == SOCK_STREAM
                                                                       ? IPPROTO_TCP
                                                                       : 0));
    ai->ai_addrlen = sizeof(sockaddr_in);
    ai->ai_addr = reinterpret_cast<sockaddr*>(sin);
    return ai;
}

// Asks the host database, following names it answers without an address.
int LookUpHost(const char* host, std::vector<u_long>* addresses, std::string* canonical) {
    std::vector<std::string> asked;
    std::string name = host;
    for (int attempt = 0; attempt < 16; ++attempt) {
        hostent* he = gethostbyname(name.c_str());
        if (!he) {
            int error = WSAGetLastError();
            return (error == WSATRY_AGAIN || error == WSANO_RECOVERY) ? error : WSAHOST_NOT_FOUND;
        }
        if (he->h_addrtype == AF_INET && he->h_addr_list && he->h_addr_list[0]) {
            for (char** p = he->h_addr_list; *p; ++p) {
                u_long a;
                std::memcpy(&a, *p, sizeof a);
                addresses->push_back(a);
            }
            *canonical = he->h_name ? he->h_name : name;
            return 0;
        }
        asked.push_back(name);
        if (!he->h_name || !*he->h_name) return WSANO_RECOVERY;
        for (const std::string& seen : asked)
            if (seen == he->h_name) return WSANO_RECOVERY;
        name = he->h_name;
    }
    return WSANO_RECOVERY;
}

}  // namespace

const ResolverTable& Resolver() {
    static const ResolverTable table = LoadTable();
    return table;
}

namespace {

int GetAddrInfoIPv4(const char* host, const char* service, const ADDRINFOA* hints,
                    ADDRINFOA** result) {
    if (!host && !service) return WSAHOST_NOT_FOUND;
    int flags = 0, family = AF_UNSPEC, socktype = 0, protocol = 0;
    if (hints) {
        if (hints->ai_addrlen || hints->ai_canonname || hints->ai_addr || hints->ai_next)
            return WSANO_RECOVERY;
        flags = hints->ai_flags;
        family = hints->ai_family;
        socktype = hints->ai_socktype;
        protocol = hints->ai_protocol;
        if ((flags & AI_CANONNAME) && !host) return WSAEINVAL;
        if (family != AF_UNSPEC && family != AF_INET) return WSAEAFNOSUPPORT;
        if (socktype < 0 || socktype > 3) return WSAESOCKTNOSUPPORT;
    }
    if (!result) return WSAEINVAL;

    // Which socket types and ports each address is offered with.
    std::vector<Target> targets;
    if (!service) {
        targets.push_back({socktype, 0});
    } else if (AllDigits(service)) {
        u_short port = htons(static_cast<u_short>(std::strtoul(service, nullptr, 10)));
        targets.push_back({socktype ? socktype : SOCK_STREAM, port});
    } else {
        servent* udp = nullptr;
        servent* tcp = nullptr;
        u_short udpPort = 0;
        if (socktype == 0 || socktype == SOCK_DGRAM) {
            udp = getservbyname(service, "udp");
            if (udp) udpPort = static_cast<u_short>(udp->s_port);  // the next call may reuse the record
        }
        if (socktype == 0 || socktype == SOCK_STREAM) tcp = getservbyname(service, "tcp");
        if (tcp) targets.push_back({SOCK_STREAM, static_cast<u_short>(tcp->s_port)});
        if (udp) targets.push_back({SOCK_DGRAM, udpPort});
        if (targets.empty()) return socktype ? WSATYPE_NOT_FOUND : WSAHOST_NOT_FOUND;
    }

    std::vector<u_long> addresses;
    std::string canonical;
    if (!host) {
        addresses.push_back(htonl((flags & AI_PASSIVE) ? INADDR_ANY : INADDR_LOOPBACK));
    } else if (CountDots(host) == 3 && inet_addr(host) != INADDR_NONE) {
        addresses.push_back(inet_addr(host));
        canonical = host;
    } else if (flags & AI_NUMERICHOST) {
        return WSAHOST_NOT_FOUND;
    } else {
        int error = LookUpHost(host, &addresses, &canonical);
        if (error) return error;
    }

    ADDRINFOA* head = nullptr;
    ADDRINFOA** tail = &head;
    for (u_long address : addresses) {
        for (const Target& target : targets) {
            ADDRINFOA* ai = NewResult(address, target, protocol);
            if (!ai) {
                SubstituteFreeAddrInfo(head);
                return WSA_NOT_ENOUGH_MEMORY;
            }
            *tail = ai;
            tail = &ai->ai_next;
        }
    }
    if ((flags & AI_CANONNAME) && head) {
        head->ai_canonname = static_cast<char*>(std::malloc(canonical.size() + 1));
        if (!head->ai_canonname) {
            SubstituteFreeAddrInfo(head);
            return WSA_NOT_ENOUGH_MEMORY;
        }
        std::memcpy(head->ai_canonname, canonical.c_str(), canonical.size() + 1);
    }
    *result = head;
    return 0;
}

}  // namespace

int WSAAPI SubstituteGetAddrInfo(const char* host, const char* service, const ADDRINFOA* hints,
                                 ADDRINFOA** result) {
    if (result) *result = nullptr;
    try {
        return GetAddrInfoIPv4(host, service, hints, result);
    } catch (const std::bad_alloc&) {  // the work lists; the result list is built last
        return WSA_NOT_ENOUGH_MEMORY;
    }
}

void WSAAPI SubstituteFreeAddrInfo(ADDRINFOA* list) {
    while (list) {
        ADDRINFOA* next = list->ai_next;
        std::free(list->ai_canonname);
        std::free(list);
        list = next;
    }
}

int WSAAPI SubstituteGetNameInfo(const sockaddr* address, socklen_t length, char* host,
                                 DWORD hostSize, char* service, DWORD serviceSize, int flags) {
    if (!address || length < static_cast<socklen_t>(sizeof(sockaddr_in))) return WSAEFAULT;
    if (address->sa_family != AF_INET) return WSAEAFNOSUPPORT;
    const sockaddr_in* sin = reinterpret_cast<const sockaddr_in*>(address);
    if (host && hostSize) {
        std::string name;
        hostent* he = nullptr;
        if (!(flags & NI_NUMERICHOST))
            he = gethostbyaddr(reinterpret_cast<const char*>(&sin->sin_addr), 4, AF_INET);
        if (he && he->h_name) {
            name = he->h_name;
            if (flags & NI_NOFQDN) name = name.substr(0, name.find('.'));
        } else if (flags & NI_NAMEREQD) {
            return WSAHOST_NOT_FOUND;
        } else {
            name = inet_ntoa(sin->sin_addr);
        }
        if (name.size() >= hostSize) return WSAEFAULT;
        std::memcpy(host, name.c_str(), name.size() + 1);
    }
    if (service && serviceSize) {
        char text[16];
        const char* name = nullptr;
        if (!(flags & NI_NUMERICSERV)) {
            servent* se = getservbyport(sin->sin_port, (flags & NI_DGRAM) ? "udp" : "tcp");
            if (se) name = se->s_name;
        }
        if (!name) {
            std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(ntohs(sin->sin_port)));
            name = text;
        }
        size_t len = std::strlen(name);
        if (len >= serviceSize) return WSAEFAULT;
        std::memcpy(service, name, len + 1);
    }
    return 0;
}

}  // namespace resolver
