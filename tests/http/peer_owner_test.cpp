// Which loopback peers the program believes: the address test, the verdict
// on the facts the system gave, and the user's waivers.
#include <gtest/gtest.h>

#include <vector>

#include "transport/peer_owner.h"

namespace {

using transport::PeerOwnerFacts;
using transport::PeerVerdict;

TEST(PeerOwner, LoopbackAddresses) {
    struct Row {
        std::vector<unsigned char> address;
        bool loopback;
    };
    const std::vector<unsigned char> v6Zero(16, 0);
    auto v6 = [&](std::vector<std::pair<int, unsigned char>> bytes) {
        std::vector<unsigned char> a = v6Zero;
        for (auto [i, b] : bytes) a[i] = b;
        return a;
    };
    const Row rows[] = {
        {{127, 0, 0, 1}, true},
        {{127, 255, 3, 9}, true},
        {{126, 0, 0, 1}, false},
        {{192, 0, 2, 1}, false},
        {{0, 0, 0, 0}, false},
        {v6({{15, 1}}), true},                                // ::1
        {v6Zero, false},                                      // ::
        {v6({{15, 2}}), false},                               // ::2
        {v6({{0, 0xFE}, {1, 0x80}, {15, 1}}), false},         // fe80::1
        {v6({{10, 0xFF}, {11, 0xFF}, {12, 127}, {15, 1}}), true},   // ::ffff:127.0.0.1
        {v6({{10, 0xFF}, {11, 0xFF}, {12, 192}, {15, 1}}), false},  // ::ffff:192.0.0.1
        {v6({{11, 0xFF}, {12, 127}, {15, 1}}), false},
        {{127, 0, 0}, false},
    };
    for (const Row& row : rows)
        EXPECT_EQ(transport::IsLoopbackAddress(row.address.data(), row.address.size()), row.loopback)
            << "address of " << row.address.size() << " bytes, first " << int(row.address[0]) << ", row "
            << (&row - rows);
}

TEST(PeerOwner, VerdictOnTheFacts) {
    constexpr uint32_t kOwn = 40;
    struct Row {
        const char* name;
        bool loopback;
        bool waived;
        PeerOwnerFacts facts;  // rowFound, pid, opened, userRead, sameUser
        PeerVerdict verdict;
    };
    const Row rows[] = {
        {"not loopback", false, false, {}, PeerVerdict::kUnchecked},
        {"waived", true, true, {}, PeerVerdict::kUnchecked},
        {"same user", true, false, {true, 77, true, true, true}, PeerVerdict::kBelieved},
        {"the program itself", true, false, {true, kOwn, false, false, false}, PeerVerdict::kBelieved},
        {"another user", true, false, {true, 77, true, true, false}, PeerVerdict::kRefused},
        {"cannot be opened", true, false, {true, 77, false, false, false}, PeerVerdict::kRefused},
        {"token unread", true, false, {true, 77, true, false, false}, PeerVerdict::kRefused},
        {"no owner known", true, false, {true, 0, true, true, true}, PeerVerdict::kRefused},
        {"no row", true, false, {false, 77, true, true, true}, PeerVerdict::kRefused},
    };
    for (const Row& row : rows)
        EXPECT_EQ(transport::JudgePeer(row.loopback, row.waived, kOwn, row.facts), row.verdict) << row.name;
}

TEST(PeerOwner, WaiversNameHostAndPort) {
    transport::SetOwnerCheckWaivers({{"127.0.0.1", 48213}, {"LocalHost", 0}});
    struct Row {
        const char* host;
        uint16_t port;
        bool waived;
    };
    const Row rows[] = {
        {"127.0.0.1", 48213, true}, {"127.0.0.1", 48214, false}, {"127.0.0.2", 48213, false},
        {"localhost", 1, true},     {"LOCALHOST", 9, true},      {"localhost.", 9, false},
        {"127.0.0.10", 48213, false},
    };
    for (const Row& row : rows) EXPECT_EQ(transport::OwnerCheckWaived(row.host, row.port), row.waived) << row.host;
    transport::SetOwnerCheckWaivers({});
    EXPECT_FALSE(transport::OwnerCheckWaived("127.0.0.1", 48213));
}

}  // namespace
