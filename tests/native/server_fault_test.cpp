// Server faults while the launcher downloads: the real update server killed
// in the middle of a body, and loopback peers that answer 500, hang up early
// or go silent. Every wait is bounded (the test clients' read limits are
// short; the launcher's own are finite too), the files in place and the
// previous manifest survive, nothing is left behind, and the same client
// object (or window) works again afterwards.
#include <gtest/gtest.h>
#include <signal.h>

#include <random>

#include "platform/error.h"
#include "platform/file_system.h"
#include "http/http_client.h"
#include "sync/package_fetch.h"
#include "sync/package_sync.h"
#include "protocol/update_request.h"
#include "support/file_body.h"
#include "support/recording_sync_view.h"
#include "support/scripted_peer.h"
#include "support/temp_folder.h"
#include "support/update_server_fixture.h"
#include "sync/update_client.h"
#include "texts/user_texts.h"

namespace klv {
namespace {

using test::PeerAction;
using test::RecordingSyncView;
using test::ScriptedPeer;
using test::TempFolder;
using test::UpdateServerFixture;

using Files = std::vector<std::string>;
using Script = std::vector<PeerAction>;

constexpr int kTestReadTimeoutMs = 200;

std::string Noise(std::size_t size) {
    std::string text(size, '\0');
    std::mt19937 random(11);
    for (char& c : text) c = static_cast<char>(random());
    return text;
}

// Larger than every socket buffer between the two ends, so that a server
// killed after the first block cannot have handed the rest to the kernel.
const std::string& BigContent() {
    static const std::string content = Noise(32u << 20);
    return content;
}

class ServerFaultTest : public ::testing::Test {
protected:
    ServerFaultTest() { http_.SetReadTimeoutMs(kTestReadTimeoutMs); }
    void TearDown() override { SetServerBaseUrl(saved_); }

    // The same client object against a healthy server: the fault is over.
    void ExpectTheClientWorksAgain() {
        UpdateServerFixture healthy;
        healthy.WritePackageFile("x.dll", "new x");
        SetServerBaseUrl(healthy.BaseUrl());
        TempFolder elsewhere;
        EXPECT_TRUE(FetchPackageFile(http_, platform::RealFileSystem(), elsewhere.path(), "x.dll"));
        EXPECT_EQ(elsewhere.Read("x.dll"), "new x");
    }

    std::string saved_ = ServerBaseUrl();
    TempFolder local_;
    HttpClient http_;
};

TEST_F(ServerFaultTest, AServerKilledMidBodyLeavesTheFileInPlace) {
    // Compressing the big file before its first byte takes a while.
    http_.SetReadTimeoutMs(kReadTimeoutMs);
    UpdateServerFixture server;
    server.WritePackageFile("big.bin", BigContent());
    SetServerBaseUrl(server.BaseUrl());
    local_.Write("big.bin", "old big");
    bool killed = false;
    http_.OnWork = [&](HttpClient&, WorkMode, std::int32_t) {
        if (!killed) killed = ::kill(server.Pid(), SIGKILL) == 0;
    };
    // The close after a part of a counted body is not a transport failure;
    // the stream that ends before its length is, when it is decoded.
    try {
        FetchPackageFile(http_, platform::RealFileSystem(), local_.path(), "big.bin");
        ADD_FAILURE() << "a body cut short was taken";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Error");
    }
    EXPECT_TRUE(killed);
    EXPECT_EQ(local_.Read("big.bin"), "old big");
    EXPECT_EQ(local_.Files(), Files{"big.bin"});
    http_.OnWork = nullptr;
    ExpectTheClientWorksAgain();
}

TEST_F(ServerFaultTest, AServerKilledMidBodyDuringASynchronisationRestoresThePreviousManifest) {
    http_.SetReadTimeoutMs(kReadTimeoutMs);
    UpdateServerFixture server;
    SetServerBaseUrl(server.BaseUrl());
    server.WritePackageFile("a.dll", "new a");
    server.WritePackageFile("big.bin", BigContent());
    server.WritePackageFile("files.txt", "a.dll=2\r\nbig.bin=2\r\n");
    const std::string previous = "a.dll=1\r\nbig.bin=1\r\n";
    local_.Write("files.txt", previous);
    local_.Write("a.dll", "old a");
    local_.Write("big.bin", "old big");
    RecordingSyncView view;
    PackageSynchroniser sync(http_, platform::RealFileSystem(), view);
    bool killed = false;
    // Work events run the window's message loop; big.bin's transfer is the
    // only one of more than a megabyte.
    view.onPump = [&] {
        if (!killed && sync.TransferSize() > (1 << 20)) killed = ::kill(server.Pid(), SIGKILL) == 0;
    };

    EXPECT_THROW(sync.SyncPackage(local_.path(), SyncProgressBar::Download), Error);
    EXPECT_TRUE(killed);
    EXPECT_EQ(local_.Read("a.dll"), "new a");  // fetched before the fault, kept
    EXPECT_EQ(local_.Read("big.bin"), "old big");
    EXPECT_EQ(local_.Read("files.txt"), previous);
    EXPECT_EQ(local_.Files(), (Files{"a.dll", "big.bin", "files.txt"}));
    EXPECT_EQ(view.Last("visible"), "0");
    EXPECT_EQ(view.Last("actions"), "1");

    // The window runs the next synchronisation against a server that is back.
    UpdateServerFixture back;
    back.WritePackageFile("a.dll", "new a");
    back.WritePackageFile("big.bin", "new big");
    back.WritePackageFile("files.txt", "a.dll=2\r\nbig.bin=2\r\n");
    SetServerBaseUrl(back.BaseUrl());
    ASSERT_TRUE(sync.SyncPackage(local_.path(), SyncProgressBar::Download));
    EXPECT_EQ(local_.Read("big.bin"), "new big");
    EXPECT_EQ(local_.Files(), (Files{"a.dll", "big.bin", "files.txt"}));
}

TEST_F(ServerFaultTest, AGetAFileCutShortIsRaisedAndLeavesThePathAlone) {
    const std::string body = test::FileBody(Noise(200000));
    ScriptedPeer peer({{test::ReadRequest(),
                        test::Send("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" +
                                   body.substr(0, body.size() / 2)),
                        test::CloseNow()}});
    SetServerBaseUrl(peer.Url("/"));
    local_.Write("Kesto.exe", "old launcher");
    EXPECT_THROW(DownloadServerFile("Kesto.exe", local_.path() + "Kesto.exe"), Error);
    EXPECT_EQ(local_.Read("Kesto.exe"), "old launcher");
    EXPECT_EQ(local_.Files(), Files{"Kesto.exe"});
}

TEST_F(ServerFaultTest, ASilentErrorBodyEndsTheOneDownloadAttemptInBoundedTime) {
    // A 500 whose body never comes: read with the fixed limit for error
    // bodies, whatever the client's own limit (here the launcher's default).
    ScriptedPeer peer(
        {{test::ReadRequest(), test::Send("HTTP/1.1 500 Internal Server Error\r\nContent-Length: 100\r\n\r\nshort"),
          test::AwaitClose()}});
    SetServerBaseUrl(peer.Url("/"));
    EXPECT_FALSE(DownloadServerFile("Kesto.exe", local_.path() + "Kesto.exe"));
    EXPECT_EQ(local_.Files(), Files{});
}

struct PeerFault {
    const char* name;
    std::vector<Script> scripts;  // one per connection the client makes
};

Script Repeat(const Script& exchange, int times) {
    Script script;
    for (int i = 0; i < times; ++i) script.insert(script.end(), exchange.begin(), exchange.end());
    return script;
}

std::vector<PeerFault> PeerFaults() {
    using test::AwaitClose;
    using test::CloseNow;
    using test::ReadRequest;
    using test::Send;
    const std::string error500 = "HTTP/1.1 500 Internal Server Error\r\nContent-Length: 5\r\n\r\nerror";
    const std::string error500Close =
        "HTTP/1.1 500 Internal Server Error\r\nContent-Length: 5\r\nConnection: close\r\n\r\nerror";
    const std::string headOfThousand = "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n";
    return {
        // Kept alive after each 500: all three attempts on one connection.
        {"500 kept alive", {Repeat({ReadRequest(), Send(error500)}, kFetchAttempts)}},
        {"500 and close", std::vector<Script>(kFetchAttempts, {ReadRequest(), Send(error500Close), CloseNow()})},
        {"hang-up before answering", std::vector<Script>(kFetchAttempts, {ReadRequest(), CloseNow()})},
        {"hang-up inside the head",
         std::vector<Script>(kFetchAttempts, {ReadRequest(), Send("HTTP/1.1 200 OK\r\nContent-Le"), CloseNow()})},
        {"silence after the request", std::vector<Script>(kFetchAttempts, {ReadRequest(), AwaitClose()})},
        {"silence inside the head",
         std::vector<Script>(kFetchAttempts, {ReadRequest(), Send("HTTP/1.1 200 OK\r\n"), AwaitClose()})},
        {"silence inside the body",
         std::vector<Script>(kFetchAttempts, {ReadRequest(), Send(headOfThousand + "0123456789"), AwaitClose()})},
    };
}

TEST_F(ServerFaultTest, EveryPeerFaultIsAFailedAttemptAndTheClientWorksAgain) {
    for (const PeerFault& fault : PeerFaults()) {
        SCOPED_TRACE(fault.name);
        ScriptedPeer peer(fault.scripts);
        SetServerBaseUrl(peer.Url("/"));
        TempFolder local;
        local.Write("x.dll", "old x");
        EXPECT_FALSE(FetchPackageFile(http_, platform::RealFileSystem(), local.path(), "x.dll"));
        peer.WaitUntilDone();
        std::size_t requests = 0;
        for (const std::string& received : peer.Received())
            for (std::size_t at = received.find("GET "); at != std::string::npos; at = received.find("GET ", at + 1))
                ++requests;
        EXPECT_EQ(requests, static_cast<std::size_t>(kFetchAttempts));
        EXPECT_EQ(local.Read("x.dll"), "old x");
        EXPECT_EQ(local.Files(), Files{"x.dll"});
    }
    ExpectTheClientWorksAgain();
}

TEST_F(ServerFaultTest, EveryPeerFaultShowsTheBoxAndGivesTheWindowBack) {
    RecordingSyncView view;
    PackageSynchroniser sync(http_, platform::RealFileSystem(), view);
    for (const PeerFault& fault : PeerFaults()) {
        SCOPED_TRACE(fault.name);
        ScriptedPeer peer(fault.scripts);
        SetServerBaseUrl(peer.Url("/"));
        TempFolder local;
        const std::string previous = "a.dll=1\r\n";
        local.Write("files.txt", previous);
        view.events.clear();
        EXPECT_FALSE(sync.SyncPackage(local.path(), SyncProgressBar::Download));
        EXPECT_EQ(view.Texts("box"), (std::vector<std::string>{texts::kSyncDownloadFailed}));
        EXPECT_EQ(view.Texts("actions"), (std::vector<std::string>{"0", "1"}));
        EXPECT_EQ(view.Last("visible"), "0");
        EXPECT_EQ(local.Read("files.txt"), previous);
        EXPECT_EQ(local.Files(), Files{"files.txt"});
    }
}

}  // namespace
}  // namespace klv
