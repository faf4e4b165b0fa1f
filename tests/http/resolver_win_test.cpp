// The built-in IPv4 resolver that stands in when Winsock has no getaddrinfo.
#include <gtest/gtest.h>

#include "transport/resolver_win.h"

namespace {

using resolver::SubstituteFreeAddrInfo;
using resolver::SubstituteGetAddrInfo;
using resolver::SubstituteGetNameInfo;

TEST(SubstituteResolver, NumericHostAndPort) {
    ADDRINFOA hints = {};
    hints.ai_socktype = SOCK_STREAM;
    ADDRINFOA* list = nullptr;
    ASSERT_EQ(SubstituteGetAddrInfo("127.0.0.1", "8080", &hints, &list), 0);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->ai_next, nullptr);
    EXPECT_EQ(list->ai_family, AF_INET);
    EXPECT_EQ(list->ai_socktype, SOCK_STREAM);
    const sockaddr_in* sin = reinterpret_cast<const sockaddr_in*>(list->ai_addr);
    EXPECT_EQ(ntohs(sin->sin_port), 8080);
    EXPECT_EQ(sin->sin_addr.s_addr, htonl(INADDR_LOOPBACK));

    char host[64], service[16];
    ASSERT_EQ(SubstituteGetNameInfo(list->ai_addr, static_cast<socklen_t>(list->ai_addrlen), host,
                                    sizeof host, service, sizeof service,
                                    NI_NUMERICHOST | NI_NUMERICSERV),
              0);
    EXPECT_STREQ(host, "127.0.0.1");
    EXPECT_STREQ(service, "8080");
    SubstituteFreeAddrInfo(list);
}

TEST(SubstituteResolver, NoHostMeansLoopbackOrAny) {
    ADDRINFOA hints = {};
    ADDRINFOA* list = nullptr;
    ASSERT_EQ(SubstituteGetAddrInfo(nullptr, "80", &hints, &list), 0);
    EXPECT_EQ(reinterpret_cast<sockaddr_in*>(list->ai_addr)->sin_addr.s_addr, htonl(INADDR_LOOPBACK));
    EXPECT_EQ(list->ai_socktype, SOCK_STREAM);  // a number without a type is a stream port
    SubstituteFreeAddrInfo(list);
    hints.ai_flags = AI_PASSIVE;
    ASSERT_EQ(SubstituteGetAddrInfo(nullptr, "80", &hints, &list), 0);
    EXPECT_EQ(reinterpret_cast<sockaddr_in*>(list->ai_addr)->sin_addr.s_addr, htonl(INADDR_ANY));
    SubstituteFreeAddrInfo(list);
}

TEST(SubstituteResolver, RefusesWhatItCannotDo) {
    ADDRINFOA* list = reinterpret_cast<ADDRINFOA*>(1);
    EXPECT_EQ(SubstituteGetAddrInfo(nullptr, nullptr, nullptr, &list), WSAHOST_NOT_FOUND);
    EXPECT_EQ(list, nullptr);
    ADDRINFOA hints = {};
    hints.ai_family = AF_INET6;
    EXPECT_EQ(SubstituteGetAddrInfo("h", "80", &hints, &list), WSAEAFNOSUPPORT);
    hints = {};
    hints.ai_socktype = 7;
    EXPECT_EQ(SubstituteGetAddrInfo("h", "80", &hints, &list), WSAESOCKTNOSUPPORT);
    hints = {};
    hints.ai_flags = AI_CANONNAME;
    EXPECT_EQ(SubstituteGetAddrInfo(nullptr, "80", &hints, &list), WSAEINVAL);
    hints = {};
    hints.ai_addrlen = 16;
    EXPECT_EQ(SubstituteGetAddrInfo("h", "80", &hints, &list), WSANO_RECOVERY);
    hints = {};
    hints.ai_flags = AI_NUMERICHOST;
    EXPECT_EQ(SubstituteGetAddrInfo("localhost", "80", &hints, &list), WSAHOST_NOT_FOUND);
    EXPECT_EQ(SubstituteGetAddrInfo("10.0.0", "80", &hints, &list), WSAHOST_NOT_FOUND);
    hints = {};
    hints.ai_socktype = SOCK_STREAM;
    EXPECT_EQ(SubstituteGetAddrInfo("127.0.0.1", "no-such-service-name", &hints, &list),
              WSATYPE_NOT_FOUND);
    hints.ai_socktype = 0;
    EXPECT_EQ(SubstituteGetAddrInfo("127.0.0.1", "no-such-service-name", &hints, &list),
              WSAHOST_NOT_FOUND);
    sockaddr_in6 six = {};
    six.sin6_family = AF_INET6;
    char host[64];
    EXPECT_EQ(SubstituteGetNameInfo(reinterpret_cast<sockaddr*>(&six), sizeof six, host, sizeof host,
                                    nullptr, 0, 0),
              WSAEAFNOSUPPORT);
}

TEST(SubstituteResolver, CanonicalNameOnTheFirstResult) {
    ADDRINFOA hints = {};
    hints.ai_flags = AI_CANONNAME;
    hints.ai_socktype = SOCK_STREAM;
    ADDRINFOA* list = nullptr;
    ASSERT_EQ(SubstituteGetAddrInfo("10.1.2.3", "1", &hints, &list), 0);
    ASSERT_NE(list->ai_canonname, nullptr);
    EXPECT_STREQ(list->ai_canonname, "10.1.2.3");
    SubstituteFreeAddrInfo(list);
}

TEST(SubstituteResolver, SystemTableIsFound) {
    // Wine's ws2_32, like every Windows since XP, exports the real functions.
    EXPECT_TRUE(resolver::Resolver().fromSystem);
    EXPECT_NE(resolver::Resolver().getaddrinfo, &SubstituteGetAddrInfo);
}

}  // namespace
