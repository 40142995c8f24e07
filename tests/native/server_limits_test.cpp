// The real klv-update-server's limits on loopback: deadlines for request
// heads and idle connections, the head-size cap, the connection caps, and a
// client that never reads its answers.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "protocol/chain_cipher.h"
#include "support/raw_http.h"
#include "support/update_server_fixture.h"

namespace klv {
namespace {

using Clock = std::chrono::steady_clock;
using test::RawConnection;
using test::UpdateServerFixture;

std::string GetTarget(const std::string& name) {
    return "/" + ChainEncrypt("aFlag=KLVGetAFile\r\nFileName=" + name + "\r\n", kRequestKey);
}
std::string GetRequest(const std::string& name, const std::string& extra = "") {
    return "GET " + GetTarget(name) + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extra + "\r\n";
}

// A client socket from a chosen loopback address, for what the test helpers
// do not do: another source address, trickling, never reading.
class Client {
public:
    explicit Client(int port, const char* from = "127.0.0.1") {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        ::inet_pton(AF_INET, from, &addr.sin_addr);
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
            throw std::runtime_error(std::string("cannot bind to ") + from);
        addr.sin_port = htons(static_cast<std::uint16_t>(port));
        ::inet_pton(AF_INET, "127.0.0.1", &addr.sin_addr);
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
            throw std::runtime_error("cannot connect");
    }
    ~Client() { ::close(fd_); }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    void Send(const std::string& bytes) const {
        [[maybe_unused]] const ssize_t sent = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    }
    // Everything received until the server closes (or the hang guard ends).
    std::string ReadToClose() const {
        std::string all;
        char chunk[4096];
        pollfd pfd{fd_, POLLIN, 0};
        while (::poll(&pfd, 1, 30000) > 0) {
            const ssize_t got = ::recv(fd_, chunk, sizeof chunk, 0);
            if (got <= 0) break;
            all.append(chunk, static_cast<std::size_t>(got));
        }
        return all;
    }
    // What the server has sent so far (one read, after waiting for it).
    std::string ReadSome() const {
        char chunk[65536];
        pollfd pfd{fd_, POLLIN, 0};
        if (::poll(&pfd, 1, 30000) <= 0) return {};
        const ssize_t got = ::recv(fd_, chunk, sizeof chunk, 0);
        return got > 0 ? std::string(chunk, static_cast<std::size_t>(got)) : std::string();
    }
    // Sends `trickle` one byte at a time, `everyMs` apart (nothing when it is
    // empty), until the server closes; the seconds that took, -1 when it did
    // not close within `limitMs`, -2 when it answered instead.
    double SecondsUntilClosed(const std::string& trickle, int everyMs, int limitMs) const {
        const auto start = Clock::now();
        for (std::size_t i = 0; Clock::now() - start < std::chrono::milliseconds(limitMs); ++i) {
            if (!trickle.empty()) Send(trickle.substr(i % trickle.size(), 1));
            pollfd pfd{fd_, POLLIN, 0};
            if (::poll(&pfd, 1, everyMs) > 0) {
                char byte;
                if (::recv(fd_, &byte, 1, 0) > 0) return -2;
                return std::chrono::duration<double>(Clock::now() - start).count();
            }
        }
        return -1;
    }

private:
    int fd_ = -1;
};

long ResidentKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

std::size_t OpenDescriptors(pid_t pid) {
    const std::filesystem::path fds("/proc/" + std::to_string(pid) + "/fd");
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(fds), {}));
}

TEST(ServerLimits, HeadsAndIdleConnectionsAreClosedAtTheirDeadlineWhileOthersAreServed) {
    UpdateServerFixture server({"--head-timeout", "1", "--idle-timeout", "2"});
    server.WritePackageFile("a.dll", "a");
    struct Case {
        const char* name;
        bool answeredFirst;   // one whole request and its answer before
        std::string trickle;  // a byte every 200 ms: within any per-read time-out
        double deadline;      // seconds from the first trickled byte (or the answer)
    } cases[] = {
        {"a head trickled from the connection's start", false, "GET /?a=", 1},
        {"the next head on a kept-alive connection", true, "GET /?a=", 1},
        {"a kept-alive connection that sends nothing more", true, "", 2},
    };
    std::vector<std::future<double>> closed;
    for (const Case& c : cases)
        closed.push_back(std::async(std::launch::async, [&server, &c] {
            Client client(server.Port());
            if (c.answeredFirst) {
                client.Send(GetRequest("a.dll"));
                if (client.ReadSome().rfind("HTTP/1.1 200 OK\r\n", 0) != 0) return -3.0;
            }
            return client.SecondsUntilClosed(c.trickle, 200, 10000);
        }));
    // Meanwhile other clients get their answers, on new connections and on
    // one kept alive throughout.
    RawConnection kept(server.Port());
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(test::RawGet(server.Port(), GetTarget("a.dll")).status, 200);
        kept.Send(GetRequest("a.dll"));
        EXPECT_EQ(kept.Read().status, 200);
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].name);
        const double seconds = closed[i].get();
        // Generous above: the machine may be busy; a trickler that is never
        // closed would go on for 10 s.
        EXPECT_GE(seconds, cases[i].deadline - 0.25) << "-1: not closed, -2: answered, -3: first answer missing";
        EXPECT_LE(seconds, cases[i].deadline + 3);
    }
}

TEST(ServerLimits, AHeadOverItsCapIsAnswered431) {
    UpdateServerFixture server({"--max-head-bytes", "1024"});
    server.WritePackageFile("a.dll", "a");
    const std::size_t base = GetRequest("a.dll").size();
    struct Case {
        const char* name;
        std::string bytes;
        int status;
    } cases[] = {
        {"exactly the cap", GetRequest("a.dll", "X: " + std::string(1024 - base - 5, 'p') + "\r\n"), 200},
        {"a byte over the cap", GetRequest("a.dll", "X: " + std::string(1024 - base - 4, 'p') + "\r\n"), 431},
        // Refused as soon as the cap is passed, not at the head's deadline.
        {"a head that never ends", "GET /?" + std::string(4000, 'a'), 431},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RawConnection connection(server.Port());
        connection.Send(c.bytes);
        const test::RawAnswer answer = connection.Read();
        EXPECT_EQ(answer.status, c.status);
        if (c.status == 431) {
            EXPECT_EQ(answer.body, "Request Header Fields Too Large");
            EXPECT_TRUE(connection.ClosedByPeer());
        }
    }
}

TEST(ServerLimits, ConnectionsOverACapAreTurnedAwayWith503AndOthersStillServed) {
    UpdateServerFixture server({"--max-connections-per-address", "2", "--max-connections", "3"});
    server.WritePackageFile("a.dll", "a");
    const std::string busy =
        "HTTP/1.1 503 Service Unavailable\r\nContent-Type: text/plain\r\nContent-Length: 0\r\n"
        "Connection: close\r\n\r\n";
    // A connection holds its slot once it is served.
    auto held = [&](const char* from) {
        auto client = std::make_unique<Client>(server.Port(), from);
        client->Send(GetRequest("a.dll"));
        EXPECT_EQ(client->ReadSome().substr(0, 15), "HTTP/1.1 200 OK") << from;
        return client;
    };
    auto first = held("127.0.0.1");
    auto second = held("127.0.0.1");
    EXPECT_EQ(Client(server.Port(), "127.0.0.1").ReadToClose(), busy);  // over the cap of its address
    auto third = held("127.0.0.2");                                     // another address still has room
    EXPECT_EQ(Client(server.Port(), "127.0.0.3").ReadToClose(), busy);  // over the cap in all
    // A slot comes free when its connection ends.
    first.reset();
    bool served = false;
    for (int i = 0; i < 100 && !served; ++i) {
        Client again(server.Port(), "127.0.0.1");
        again.Send(GetRequest("a.dll"));
        served = again.ReadSome().rfind("HTTP/1.1 200 OK", 0) == 0;
        if (!served) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_TRUE(served);
    // Turned-away connections are not requests.
    EXPECT_EQ(server.RequestCount(), 4);
}

TEST(ServerLimits, ClientsThatNeverReadHoldNoCopiesAndAreLetGoAfterTheIdleTime) {
    UpdateServerFixture server({"--idle-timeout", "2"});
    std::string noise(4 << 20, '\0');  // does not compress: the body is as large
    std::mt19937 random(3);
    for (char& c : noise) c = static_cast<char>(random());
    server.WritePackageFile("big.bin", noise);
    server.WritePackageFile("a.dll", "a");
    // The body is made and cached once; every event loop of the server has
    // had a connection (each opens its own descriptors on the first).
    for (int i = 0; i < 8; ++i) {
        RawConnection warm(server.Port());
        warm.Send(GetRequest("big.bin"));
        ASSERT_EQ(warm.Read().status, 200);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const std::size_t descriptors = OpenDescriptors(server.Pid());
    const long before = ResidentKiB(server.Pid());

    constexpr int kClients = 32, kPipelined = 64;
    std::string requests;
    for (int i = 0; i < kPipelined; ++i) requests += GetRequest("big.bin");
    std::vector<std::unique_ptr<Client>> stalled;
    for (int i = 0; i < kClients; ++i) {
        stalled.push_back(std::make_unique<Client>(server.Port()));
        stalled.back()->Send(requests);
    }
    for (int i = 0; i < 500 && server.RequestCount() < 1 + kClients; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_GE(server.RequestCount(), 1 + kClients);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const long during = ResidentKiB(server.Pid());
    EXPECT_EQ(test::RawGet(server.Port(), GetTarget("a.dll")).status, 200);  // others are still served
    // A copy of the body per connection would be 128 MiB, the pipelined
    // answers queued 8 GiB; what is left is per-connection state.
    EXPECT_LT(during - before, 24 * 1024) << before << " KiB before, " << during << " KiB with the stalled clients";

    // No progress for the idle time: the server lets every one of them go.
    bool released = false;
    for (int i = 0; i < 100 && !released; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        released = OpenDescriptors(server.Pid()) <= descriptors;
    }
    EXPECT_TRUE(released) << OpenDescriptors(server.Pid()) << " descriptors open, " << descriptors << " before";
}

}  // namespace
}  // namespace klv
