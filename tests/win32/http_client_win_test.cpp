// The transport over Winsock: the Windows build of the client under Wine
// against a native peer program on loopback (tests/peer), so the socket code
// meets a separate, real TCP stack.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/socket.h"
#include "http/http_client.h"
#include "win32/win_test_paths.h"

namespace klv {
namespace {

std::string Patterned(std::size_t n) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + (i * 7 + i / 251) % 26);
    return s;
}

// Starts the native peer once for the suite and tells it to quit at the end;
// it also ends by itself after two minutes, so nothing is left behind.
class NativePeer : public testing::Test {
protected:
    static void SetUpTestSuite() {
        const std::string tools = KLV_NATIVE_TOOLS_DIR;
        ASSERT_FALSE(tools.empty()) << "configure with -DKLV_NATIVE_TOOLS_DIR=<native build>/tools";
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        // The port file lives in the Linux /tmp, which both sides can name.
        const std::string unixPortFile = "/tmp/klv-http-peer-" + std::to_string(GetCurrentProcessId()) + ".port";
        std::string command = test::WinePathOf(tools + "/klv-http-peer") + " " + unixPortFile + " 120";
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        ASSERT_TRUE(
            CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
            << "cannot start " << command;
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        const std::string winPortFile = test::WinePathOf(unixPortFile);
        for (int i = 0; i < 400 && port_ == 0; ++i) {
            std::ifstream in(winPortFile);
            if (!(in >> port_)) {
                port_ = 0;
                std::this_thread::sleep_for(std::chrono::milliseconds(25));
            }
        }
        ASSERT_NE(port_, 0) << "the peer wrote no port";
    }
    static void TearDownTestSuite() {
        if (port_ == 0) return;
        try {
            HttpClient client;
            client.Get(Url("/quit"));
        } catch (const std::exception&) {
        }
    }
    static std::string Url(const std::string& path) { return "http://127.0.0.1:" + std::to_string(port_) + path; }

    static int port_;
};
int NativePeer::port_ = 0;

TEST_F(NativePeer, KeepAliveReusesOneConnection) {
    HttpClient client;
    const int before = std::stoi(client.Get(Url("/connections")));
    EXPECT_EQ(client.Get(Url("/small1")), "hello");
    EXPECT_EQ(client.Get(Url("/small2")), "hello");
    EXPECT_EQ(std::stoi(client.Get(Url("/connections"))), before);
}

TEST_F(NativePeer, LargeBodyArrivesWholeWithItsWorkEvents) {
    HttpClient client;
    std::vector<std::int32_t> begins;
    std::int32_t last = 0;
    client.OnWorkBegin = [&](HttpClient&, WorkMode, std::int32_t max) { begins.push_back(max); };
    client.OnWork = [&](HttpClient&, WorkMode, std::int32_t count) { last = count; };
    MemoryStream sink;
    client.Get(Url("/big"), sink);
    EXPECT_TRUE(sink.Data() == Patterned(1000000));
    EXPECT_EQ(begins, std::vector<std::int32_t>{1000000});
    EXPECT_EQ(last, 1000000);
}

TEST_F(NativePeer, EarlyCloseKeepsTheFullBlocks) {
    HttpClient client;
    MemoryStream sink;
    client.Get(Url("/early"), sink);
    EXPECT_EQ(sink.Size(), 32768u);
    EXPECT_TRUE(sink.Data() == Patterned(32768));
    // The next request on the same client reconnects.
    EXPECT_EQ(client.Get(Url("/small")), "hello");
}

TEST_F(NativePeer, NotFoundIsAProtocolFailure) {
    HttpClient client;
    try {
        client.Get(Url("/nothing"));
        FAIL();
    } catch (const EIdHTTPProtocolException& e) {
        EXPECT_EQ(e.ErrorCode(), 404);
    }
}

TEST(WinsockTransport, RefusedConnectIsSocketError10061) {
    HttpClient client;  // starts Winsock for this process
    // A port that was just bound and released: nothing listens on it.
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    int size = sizeof a;
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &size);
    closesocket(s);
    try {
        client.Get("http://localhost:" + std::to_string(ntohs(a.sin_port)) + "/");
        FAIL();
    } catch (const EIdSocketError& e) {
        EXPECT_EQ(e.LastError(), 10061);
        EXPECT_STREQ(e.what(), "Socket Error # 10061\r\nConnection refused.");
    }
}

TEST(WinsockTransport, LibraryStaysStartedWhileAnyClientLives) {
    auto first = std::make_unique<HttpClient>();
    { HttpClient second; }
    // The second client's end must not stop Winsock under the first one.
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    EXPECT_NE(s, INVALID_SOCKET);
    closesocket(s);
}

}  // namespace
}  // namespace klv
