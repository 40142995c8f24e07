// The real klv-update-server on loopback, spoken to with raw HTTP so that
// every byte of the request is under the test's control.
#include <gtest/gtest.h>

#include <regex>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <random>
#include <thread>

#include "platform/error.h"
#include "protocol/chain_cipher.h"
#include "support/file_body_decoder.h"
#include "support/raw_http.h"
#include "support/update_server_fixture.h"

namespace klv {
namespace {

using test::RawAnswer;
using test::RawConnection;
using test::RawGet;
using test::UpdateServerFixture;

std::string Target(const std::string& plain) {
    return "/" + ChainEncrypt(plain, kRequestKey);
}
std::string GetTarget(const std::string& name) {
    return Target("aFlag=KLVGetAFile\r\nFileName=" + name + "\r\n");
}
std::string CheckTarget(const std::string& name, const std::string& version) {
    return Target("aFlag=CheckFileUp\r\nFileName=" + name + "\r\nNowVer=" + version + "\r\n");
}
std::string Request(const std::string& target, const std::string& extra = "") {
    return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extra + "\r\n";
}

std::string Decode(const std::string& body) {
    FileBodyDecoder decoder;
    decoder.Feed(body.data(), body.size());
    return decoder.Finish();
}

std::string Pattern(std::size_t size) {
    std::string text(size, '\0');
    std::mt19937 random(7);
    for (char& c : text) c = static_cast<char>(random() % 251);
    return text;
}

TEST(UpdateServer, ServesPackageFilesAsLengthPrefixedZlib) {
    UpdateServerFixture server;
    struct Case {
        const char* name;
        std::string content;
    } cases[] = {
        {"empty.dll", ""},                  // a 0-byte file is the 0-byte body, not a header alone
        {"one.dll", "x"},                   // smallest stream
        {"sub\\deeper\\x.dll", "nested"},   // backslash names map onto sub-folders
        {"\xC4\x5C\\\xB1\x5C.dll", "gbk"},  // 0x5C trail bytes are not separators
        {"big.bin", Pattern(3 << 20)},      // several MiB, many TCP segments
        {"files.txt", "a.dll=1.0\r\n"},     // the manifest itself is a package file
    };
    for (const Case& c : cases) server.WritePackageFile(c.name, c.content);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const RawAnswer answer = RawGet(server.Port(), GetTarget(c.name));
        ASSERT_EQ(answer.status, 200);
        if (c.content.empty()) {
            EXPECT_EQ(answer.body.size(), 0u);
        }
        EXPECT_EQ(Decode(answer.body), c.content);
    }
    EXPECT_EQ(server.RequestCount(), static_cast<long long>(std::size(cases)));
}

TEST(UpdateServer, NeverServesAFileOutsideItsFolder) {
    UpdateServerFixture server;
    test::TempFolder outside;
    outside.Write("secret.txt", "secret");
    server.WritePackageFile("inner\\ok.txt", "ok");
    // A link inside the folder that leads out of it.
    ASSERT_EQ(::symlink((outside.native() + "secret.txt").c_str(), (server.Package().native() + "link.txt").c_str()),
              0);
    ASSERT_EQ(::symlink(outside.native().c_str(), (server.Package().native() + "linkdir").c_str()), 0);
    const std::string up =
        "..\\" + outside.native().substr(outside.native().rfind('/', outside.native().size() - 2) + 1);
    const std::string rooted = outside.native() + "secret.txt";
    std::string backslashed = rooted;
    for (char& c : backslashed)
        if (c == '/') c = '\\';
    const std::string names[] = {
        up + "secret.txt",                                // climbing with ..
        "inner\\..\\..\\" + up.substr(3) + "secret.txt",  // climbing from a sub-folder
        rooted,                                           // an absolute path is read inside the folder
        backslashed,                                      // the same with backslashes
        "C:" + backslashed,                               // a drive
        "inner\\ok.txt:stream",                           // a stream name
        "link.txt",                                       // a symbolic link to a file outside
        "linkdir\\secret.txt",                            // through a linked folder
        "inner",                                          // a folder is not a file
        "inner\\",                                        // trailing separator: still the folder
        "inner\\...\\ok.txt",                             // only dots: Windows may trim it to ".."
        "inner\\nul",                                     // a device name
        std::string("inner\\ok.txt\0x", 14),              // NUL inside the name
        "\xC4",                                           // a lead byte cut off
        "",                                               // no name
        "missing.dll",                                    // simply absent
    };
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        const RawAnswer answer = RawGet(server.Port(), GetTarget(name));
        EXPECT_EQ(answer.status, 404);
        EXPECT_EQ(answer.body.find("secret"), std::string::npos);
    }
    // The control rows: the same machinery serves every name that stays
    // inside, in each form a manifest may give it, because Windows takes "/"
    // as a separator and collapses doubled ones. Refusing these used to fail
    // every synchronisation of a manifest that listed one.
    for (const char* name : {"inner\\ok.txt", "inner/ok.txt", "inner\\\\ok.txt", ".\\inner\\ok.txt", "\\inner\\ok.txt",
                             "inner\\.\\ok.txt", "//inner//ok.txt"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(Decode(RawGet(server.Port(), GetTarget(name)).body), "ok");
    }
}

TEST(UpdateServer, AnswersCheckFileUpFromItsManifest) {
    struct Case {
        const char* manifest;
        const char* name;
        const char* nowVersion;
        const char* expected;
    } cases[] = {
        {"Kesto.exe=1.0.12.16\r\n", "Kesto.exe", "1.0.12.15", "OK"},              // newer
        {"Kesto.exe=1.0.12.15\r\n", "Kesto.exe", "1.0.12.15", "NO"},              // same version is not newer
        {"Kesto.exe=1.0.12.14\r\n", "Kesto.exe", "1.0.12.15", "NO"},              // older
        {"kesto.EXE=2.0\r\n", "Kesto.exe", "1.0", "OK"},                          // names compare without case
        {"a=1\r\nKesto.exe=1.0\r\nKesto.exe=9.0\r\n", "Kesto.exe", "1.0", "NO"},  // first match counts
        {"a=1\rKesto.exe=2.0\r", "Kesto.exe", "1.0", "OK"},                       // CR-only line ends
        {"a=1\nKesto.exe=2.0", "Kesto.exe", "1.0", "OK"},                         // LF line ends, no final one
        {"a=1\r\n", "Kesto.exe", "1.0", "NO"},                                    // not listed
        {"Kesto.exe=1.x\r\n", "Kesto.exe", "1.0", "NO"},                          // a broken version is never "newer"
        {"sub\\x.dll=3\r\n", "sub\\x.dll", "2", "OK"},                            // backslash names
        // A line without "=" has the empty name, as the launcher reads it,
        // not a name of its whole text with an empty (always newer) version.
        {"Kesto.exe\r\nKesto.exe=1.0\r\n", "Kesto.exe", "1.0", "NO"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.manifest) + " / " + c.name);
        UpdateServerFixture server;
        server.WritePackageFile("files.txt", c.manifest);
        const RawAnswer answer = RawGet(server.Port(), CheckTarget(c.name, c.nowVersion));
        EXPECT_EQ(answer.status, 200);
        EXPECT_EQ(answer.body, c.expected);
    }
    UpdateServerFixture noManifest;
    EXPECT_EQ(RawGet(noManifest.Port(), CheckTarget("Kesto.exe", "1.0")).body, "NO");
}

TEST(UpdateServer, RefusesMalformedRequests) {
    UpdateServerFixture server;
    server.WritePackageFile("a.dll", "a");
    struct Case {
        std::string request;
        int status;
    } cases[] = {
        {Request("/"), 400},                                                           // nothing scrambled
        {Request("/zz"), 400},                                                         // not hex
        {Request(GetTarget("a.dll") + "0"), 400},                                      // a lone trailing digit
        {Request(GetTarget("a.dll") + "G0"), 400},                                     // a non-hex pair
        {Request(GetTarget("a.dll").substr(1)), 400},                                  // no leading slash
        {Request(Target("aFlag=KLVGetAFile\r\nFileName=a.dll")), 400},                 // last line without CR LF
        {Request(Target("aFlag=KLVGetAFile\r\n")), 400},                               // no FileName
        {Request(Target("aFlag=Other\r\nFileName=a.dll\r\n")), 400},                   // unknown request kind
        {Request(Target("aFlag=CheckFileUp\r\nFileName=a.dll\r\n")), 400},             // no NowVer
        {Request(Target("aFlag=KLVGetAFile\r\nno equals\r\n")), 400},                  // a line without "="
        {"POST " + GetTarget("a.dll") + " HTTP/1.1\r\nHost: x\r\n\r\n", 405},          // only GET
        {"GET " + GetTarget("a.dll") + " HTTP/2.0\r\n\r\n", 400},                      // unknown version
        {"GET  " + GetTarget("a.dll") + " HTTP/1.1\r\n\r\n", 400},                     // double space
        {"GET " + GetTarget("a.dll") + " HTTP/1.1\r\nNoColon\r\n\r\n", 400},           // header without ":"
        {Request(GetTarget("a.dll"), "Content-Length: 5\r\n") + "hello", 400},         // a body on GET
        {Request(GetTarget("a.dll"), "Content-Length: x\r\n"), 400},                   // unreadable length
        {Request(GetTarget("a.dll"), "X: " + std::string(20000, 'a') + "\r\n"), 431},  // head too large
        {"GET " + GetTarget("a.dll") + " HTTP/1.1\nHost: x\n\n", 200},                 // bare LF line ends are fine
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.request.substr(0, 120));
        RawConnection connection(server.Port());
        connection.Send(c.request);
        EXPECT_EQ(connection.Read().status, c.status);
    }
    EXPECT_EQ(server.RequestCount(), static_cast<long long>(std::size(cases)));
}

TEST(UpdateServer, SurvivesRandomInput) {
    UpdateServerFixture server;
    server.WritePackageFile("a.dll", "a");
    std::mt19937 random(20261209);
    const std::string hex = "0123456789ABCDEFabcdef";
    for (int i = 0; i < 300; ++i) {
        RawConnection connection(server.Port());
        std::string bytes;
        if (i % 3 == 0) {
            // Random bytes, sometimes with a head end in them.
            const std::size_t size = random() % 600;
            for (std::size_t k = 0; k < size; ++k) bytes += static_cast<char>(random() % 256);
            if (i % 2) bytes += "\r\n\r\n";
        } else {
            // Hex targets of random length: they unscramble to garbage.
            std::string target = "/";
            const std::size_t size = random() % 300;
            for (std::size_t k = 0; k < size; ++k) target += hex[random() % hex.size()];
            bytes = Request(target);
        }
        connection.Send(bytes);
        if (bytes.find("\r\n\r\n") != std::string::npos || bytes.find("\n\n") != std::string::npos) {
            EXPECT_NE(connection.Read().status, 200) << i;
        }
    }
    EXPECT_EQ(::kill(server.Pid(), 0), 0) << "server died";
    EXPECT_EQ(Decode(RawGet(server.Port(), GetTarget("a.dll")).body), "a");
}

TEST(UpdateServer, KeepsConnectionsOpenAsHttp11Allows) {
    UpdateServerFixture server;
    server.WritePackageFile("a.dll", "aaa");
    {
        RawConnection connection(server.Port());
        // Pipelined: both heads in one send.
        connection.Send(Request(GetTarget("a.dll")) + Request(CheckTarget("a.dll", "1")));
        EXPECT_EQ(Decode(connection.Read().body), "aaa");
        EXPECT_EQ(connection.Read().status, 200);
        connection.Send(Request(GetTarget("a.dll"), "Connection: close\r\n"));
        EXPECT_EQ(connection.Read().status, 200);
        EXPECT_TRUE(connection.ClosedByPeer());
    }
    RawConnection old(server.Port());
    old.Send("GET " + GetTarget("a.dll") + " HTTP/1.0\r\n\r\n");
    EXPECT_EQ(old.Read().status, 200);
    EXPECT_TRUE(old.ClosedByPeer());
}

TEST(UpdateServer, FailsTheFirstRequestsWhenAsked) {
    UpdateServerFixture server({"--fail-first", "2"});
    server.WritePackageFile("a.dll", "a");
    EXPECT_EQ(RawGet(server.Port(), GetTarget("a.dll")).status, 503);
    EXPECT_EQ(RawGet(server.Port(), GetTarget("a.dll")).status, 503);
    EXPECT_EQ(RawGet(server.Port(), GetTarget("a.dll")).status, 200);
    EXPECT_EQ(server.RequestCount(), 3);
}

TEST(UpdateServer, ServesManyClientsAtOnce) {
    UpdateServerFixture server;
    const std::string content = Pattern(200000);
    server.WritePackageFile("a.dll", content);
    constexpr int kClients = 8, kRequests = 25;
    std::atomic<int> good{0};
    std::vector<std::thread> clients;
    for (int i = 0; i < kClients; ++i)
        clients.emplace_back([&] {
            RawConnection connection(server.Port());
            for (int k = 0; k < kRequests; ++k) {
                connection.Send(Request(GetTarget("a.dll")));
                const RawAnswer answer = connection.Read();
                if (answer.status == 200 && Decode(answer.body) == content) ++good;
            }
        });
    for (std::thread& client : clients) client.join();
    EXPECT_EQ(good.load(), kClients * kRequests);
    EXPECT_EQ(server.RequestCount(), kClients * kRequests);
}

TEST(UpdateServer, ServesTheNewContentOnceAFileChanges) {
    UpdateServerFixture server;
    server.WritePackageFile("a.dll", "first");
    EXPECT_EQ(Decode(RawGet(server.Port(), GetTarget("a.dll")).body), "first");
    server.WritePackageFile("a.dll", "second version");
    EXPECT_EQ(Decode(RawGet(server.Port(), GetTarget("a.dll")).body), "second version");
    ::unlink((server.Package().native() + "a.dll").c_str());
    EXPECT_EQ(RawGet(server.Port(), GetTarget("a.dll")).status, 404);  // no stale cache entry
}

TEST(UpdateServer, StopsCleanlyWithConnectionsOpen) {
    UpdateServerFixture server;
    server.WritePackageFile("a.dll", "a");
    RawConnection idle(server.Port());
    idle.Send(Request(GetTarget("a.dll")));
    EXPECT_EQ(idle.Read().status, 200);
    EXPECT_EQ(server.Stop(), 0);
    // The common log format, the decoded request as its path, then the
    // unscrambled request itself.
    const std::regex line(
        R"(127\.0\.0\.1 - - \[\d\d/[A-Z][a-z]{2}/\d{4}:\d\d:\d\d:\d\d \+0000\] )"
        R"("GET /KLVGetAFile/a\.dll HTTP/1\.1" 200 13 "aFlag=KLVGetAFile \| FileName=a\.dll" [0-9.]+ms\n)");
    EXPECT_TRUE(std::regex_search(server.Log(), line)) << server.Log();
}

TEST(UpdateServer, LogsTheDecodedRequestAsAPlainPath) {
    UpdateServerFixture server;
    server.WritePackageFile("files.txt", "a.dll=1.0\r\n");
    EXPECT_EQ(RawGet(server.Port(), CheckTarget("sub\\\xC4\xE3 x.dll", "1.0")).status, 200);
    EXPECT_EQ(server.Stop(), 0);
    EXPECT_NE(server.Log().find("\"GET /CheckFileUp/sub%5C%C4%E3%20x.dll?NowVer=1.0 HTTP/1.1\" 200 2 "),
              std::string::npos)
        << server.Log();
}

}  // namespace
}  // namespace klv
