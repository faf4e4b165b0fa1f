// The owner check's Windows half under Wine, against the raw server, a
// Linux process: its connection row is found, but Wine names no owner
// (wineserver holds every socket), so the check refuses it before a byte
// is sent. Process users are read for this process and a child of it.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "tests/support/loopback_stand_ins.h"
#include "transport/event_socket.h"
#include "transport/peer_owner.h"
#include "transport/soap_http_client.h"

namespace {

std::string StateDir() {
    const char* dir = std::getenv("ZELVANE_HTTP_SERVERS");
    return dir ? dir : "";
}

uint16_t RawPort() {
    std::ifstream in(StateDir() + "/raw.port");
    int port = 0;
    in >> port;
    return static_cast<uint16_t>(port);
}

class PeerOwnerWin : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_GT(port_, 0) << "no raw server; run through ctest";
        transport::SetOwnerCheckWaivers({});
    }
    void TearDown() override { BelieveLoopbackStandIns(); }
    const uint16_t port_ = RawPort();
};

TEST_F(PeerOwnerWin, AServerOfNoKnownOwnerGetsNoRequest) {
    const std::string tag = "owner-" + std::to_string(GetTickCount64());
    const std::string url = "http://127.0.0.1:" + std::to_string(port_) + "/count/" + tag + "/status/202";
    CSoapHttpClient client(url.c_str(), std::make_unique<CEventSocket>());
    client.RequestText() = "<soap:Envelope/>";
    EXPECT_EQ(client.PostSoapRequest("SOAPAction: \"urn:test\"\r\n"), soap::kStatusFail);
    EXPECT_EQ(client.ResultCode(), SOAPCLIENT_FOREIGN_SERVICE);
    EXPECT_EQ(client.Http().Connection().LastError(), kErrorForeignPeer);
    EXPECT_FALSE(client.Http().Connection().IsConnected());

    // Waived, the same request goes out and is counted.
    transport::SetOwnerCheckWaivers({{"127.0.0.1", port_}});
    EXPECT_EQ(client.PostSoapRequest("SOAPAction: \"urn:test\"\r\n"), soap::kStatusOk);
    std::ifstream count(StateDir() + "/count-" + tag);
    int seen = 0;
    count >> seen;
    EXPECT_EQ(seen, 1) << "the refused request reached the server, or the waived one did not";
}

TEST_F(PeerOwnerWin, TheConnectionsServerRowIsFound) {
    WSADATA data;
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    ASSERT_NE(s, INVALID_SOCKET);
    sockaddr_in server = {};
    server.sin_family = AF_INET;
    server.sin_port = htons(port_);
    server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(connect(s, reinterpret_cast<sockaddr*>(&server), sizeof server), 0);
    const transport::PeerOwnerFacts facts = transport::ReadPeerOwner(s);
    closesocket(s);
    WSACleanup();
    EXPECT_TRUE(facts.rowFound);
    // Wine names no owner for any socket; Windows would name the raw server's.
    EXPECT_EQ(transport::JudgePeer(true, false, GetCurrentProcessId(), facts), transport::PeerVerdict::kRefused);
}

TEST_F(PeerOwnerWin, ProcessUsers) {
    // A child of this process runs as this user, like the rate service the
    // user started; it is held suspended so its id stays its own.
    wchar_t exe[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameW(nullptr, exe, MAX_PATH), 0u);
    std::wstring command = L"\"" + std::wstring(exe) + L"\" --gtest_list_tests";
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    ASSERT_TRUE(CreateProcessW(exe, command.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr,
                               &si, &pi));
    transport::PeerOwnerFacts child;
    transport::ReadProcessUser(pi.dwProcessId, &child);
    TerminateProcess(pi.hProcess, 0);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    EXPECT_TRUE(child.opened && child.userRead && child.sameUser);
    child.rowFound = true;
    child.pid = pi.dwProcessId;
    EXPECT_EQ(transport::JudgePeer(true, false, GetCurrentProcessId(), child), transport::PeerVerdict::kBelieved);

    // An id no process has (ids are multiples of 4).
    transport::PeerOwnerFacts none;
    transport::ReadProcessUser(0x7FFFFFF1, &none);
    EXPECT_FALSE(none.opened);
    EXPECT_FALSE(none.sameUser);
}

}  // namespace
