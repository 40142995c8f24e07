// The launcher's protocol code (request URLs, CheckFileUpdate,
// DownloadServerFile) against the real klv-update-server on loopback, and
// against canned answers the real server never gives.
#include <gtest/gtest.h>

#include <random>

#include "platform/error.h"
#include "platform/file_system.h"
#include "protocol/chain_cipher.h"
#include "protocol/update_request.h"
#include "support/canned_answer_server.h"
#include "support/file_body.h"
#include "support/temp_folder.h"
#include "support/update_server_fixture.h"
#include "sync/update_client.h"

namespace klv {
namespace {

using test::CannedAnswerServer;
using test::TempFolder;
using test::UpdateServerFixture;

// Points the protocol at a test server and restores the built-in address.
class ProtocolTest : public ::testing::Test {
protected:
    void TearDown() override { SetServerBaseUrl(saved_); }
    std::string saved_ = ServerBaseUrl();
};

std::string Noise(std::size_t size, unsigned seed) {
    std::string text(size, '\0');
    std::mt19937 random(seed);
    for (char& c : text) c = static_cast<char>(random());
    return text;
}

bool IsUpperHex(const std::string& text) {
    return text.find_first_not_of("0123456789ABCDEF") == std::string::npos;
}

TEST_F(ProtocolTest, BuiltInBaseUrlUsesTheBuildHostAndPort9988) {
    EXPECT_EQ(saved_, std::string("http://") + KLV_UPDATE_HOST + ":9988/");
}

TEST_F(ProtocolTest, GetAFileRequestOfTheWorkedExample) {
    const std::string plain = GetAFilePlainText("a.dll");
    EXPECT_EQ(plain, "aFlag=KLVGetAFile\r\nFileName=a.dll\r\n");
    EXPECT_EQ(plain.size(), 35u);
    const std::string url = GetAFileUrl("a.dll");
    ASSERT_EQ(url.compare(0, saved_.size(), saved_), 0);
    const std::string scrambled = url.substr(saved_.size());
    EXPECT_EQ(scrambled.size(), 72u);
    EXPECT_TRUE(IsUpperHex(scrambled));  // no "?" or other separator after the "/"
    EXPECT_EQ(ChainDecrypt(scrambled, "qvtrm"), plain);
}

TEST_F(ProtocolTest, CheckFileUpRequestOfTheWorkedExample) {
    const std::string plain = CheckFileUpPlainText("Kesto.exe", "1.0.12.15");
    EXPECT_EQ(plain, "aFlag=CheckFileUp\r\nFileName=Kesto.exe\r\nNowVer=1.0.12.15\r\n");
    EXPECT_EQ(plain.size(), 57u);
    const std::string scrambled = CheckFileUpUrl("Kesto.exe", "1.0.12.15").substr(saved_.size());
    EXPECT_EQ(scrambled.size(), 116u);
    EXPECT_TRUE(IsUpperHex(scrambled));
    EXPECT_EQ(ChainDecrypt(scrambled, "qvtrm"), plain);
}

TEST_F(ProtocolTest, NamesTravelUnescaped) {
    // Backslashes and double-byte bytes go as they are: no escaping layer.
    const std::string name = "sub\\\xC4\x5C.dll";
    EXPECT_EQ(ChainDecrypt(GetAFileUrl(name).substr(saved_.size()), "qvtrm"),
              "aFlag=KLVGetAFile\r\nFileName=" + name + "\r\n");
}

TEST_F(ProtocolTest, DownloadsRoundTripThroughTheRealServer) {
    UpdateServerFixture server;
    SetServerBaseUrl(server.BaseUrl());
    TempFolder target;
    struct Case {
        const char* name;
        std::string content;
    } cases[] = {
        {"zero.dll", ""},                         // 0 bytes: the 0-byte body is an empty file
        {"one.dll", "1"},                         // 1 byte
        {"big.bin", Noise(6 << 20, 3)},           // several MiB, incompressible
        {"sub\\deep\\x.dll", "in a sub-folder"},  // sub-folders
        {"\xC4\x5C\\\xB1\x5C.dll", "gbk name"},   // 0x5C trail bytes in folder and file
    };
    long long requests = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.WritePackageFile(c.name, c.content);
        const std::string path = target.path() + "out.bin";
        ASSERT_TRUE(DownloadServerFile(c.name, path));
        EXPECT_EQ(server.RequestCount(), ++requests);  // exactly one request each
        EXPECT_TRUE(target.Read("out.bin") == c.content);
    }
}

TEST_F(ProtocolTest, MissingFileIsFalseAndLeavesThePathAlone) {
    UpdateServerFixture server;
    SetServerBaseUrl(server.BaseUrl());
    TempFolder target;
    target.Write("keep.dll", "old content");
    EXPECT_FALSE(DownloadServerFile("missing.dll", target.path() + "keep.dll"));
    EXPECT_FALSE(DownloadServerFile("missing.dll", target.path() + "new.dll"));
    EXPECT_EQ(target.Read("keep.dll"), "old content");
    EXPECT_FALSE(target.Exists("new.dll"));
    EXPECT_EQ(server.RequestCount(), 2);  // one attempt each, no retry
}

TEST_F(ProtocolTest, UnreachableServerIsFalseForBoth) {
    long long port;
    {
        UpdateServerFixture gone;  // a port that was just free and is closed now
        port = gone.Port();
    }
    SetServerBaseUrl("http://127.0.0.1:" + std::to_string(port) + "/");
    TempFolder target;
    EXPECT_FALSE(DownloadServerFile("a.dll", target.path() + "a.dll"));
    EXPECT_FALSE(CheckFileUpdate("a.dll", "1.0"));
}

TEST_F(ProtocolTest, CheckFileUpdateAgainstTheRealServer) {
    UpdateServerFixture server;
    SetServerBaseUrl(server.BaseUrl());
    server.WritePackageFile("files.txt", "Kesto.exe=1.0.12.16\r\nsub\\a.dll=2.0\r\n");
    EXPECT_TRUE(CheckFileUpdate("Kesto.exe", "1.0.12.15"));
    EXPECT_FALSE(CheckFileUpdate("Kesto.exe", "1.0.12.16"));
    EXPECT_TRUE(CheckFileUpdate("SUB\\A.DLL", "1.9"));
    EXPECT_FALSE(CheckFileUpdate("other.exe", "1.0"));
    EXPECT_EQ(server.RequestCount(), 4);
}

TEST_F(ProtocolTest, CheckFileUpdateIsTrueOnlyForExactlyOK) {
    struct Case {
        std::string answer;
        bool expected;
    } cases[] = {
        {CannedAnswerServer::Ok("OK"), true},
        {CannedAnswerServer::Ok("ok"), false},      // case-sensitive
        {CannedAnswerServer::Ok("OK\r\n"), false},  // no trimming
        {CannedAnswerServer::Ok(" OK"), false},
        {CannedAnswerServer::Ok(""), false},                                                    // empty body
        {"HTTP/1.1 404 Not Found\r\nContent-Length: 2\r\nConnection: close\r\n\r\nOK", false},  // status counts
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        CannedAnswerServer peer(c.answer);
        SetServerBaseUrl(peer.BaseUrl());
        EXPECT_EQ(CheckFileUpdate("Kesto.exe", "1.0.12.15"), c.expected);
    }
}

TEST_F(ProtocolTest, DecodingFailuresRaiseAndNeverTouchThePath) {
    const std::string stream = test::ZlibStream(Noise(50000, 5));
    struct Case {
        const char* what;
        std::string body;
        const char* message;
    } cases[] = {
        {"3-byte body", "abc", "Stream read error"},
        {"stream cut short", test::LengthField(50000) + stream.substr(0, stream.size() / 2), "Error"},
        {"longer length than content", test::LengthField(60000) + stream, "Error"},
        {"top-bit length", test::LengthField(0x80000000u) + stream, "Out of memory while expanding memory stream"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CannedAnswerServer peer(CannedAnswerServer::Ok(c.body));
        SetServerBaseUrl(peer.BaseUrl());
        TempFolder target;
        target.Write("file.dll", "previous");
        try {
            DownloadServerFile("file.dll", target.path() + "file.dll");
            ADD_FAILURE() << "no failure raised";
        } catch (const Error& e) {
            EXPECT_STREQ(e.what(), c.message);
        }
        EXPECT_EQ(target.Read("file.dll"), "previous");
        EXPECT_EQ(platform::RealFileSystem().ListFolder(target.path()).size(), 1u);  // no temporary left
    }
}

TEST_F(ProtocolTest, RequestGoesToSlashPlusScrambledText) {
    CannedAnswerServer peer(CannedAnswerServer::Ok(test::FileBody("x")));
    SetServerBaseUrl(peer.BaseUrl());
    TempFolder target;
    ASSERT_TRUE(DownloadServerFile("a.dll", target.path() + "a.dll"));
    const std::string head = peer.LastHead();
    ASSERT_EQ(head.rfind("GET /", 0), 0u) << head;
    const std::string scrambled = head.substr(5, head.find(' ', 5) - 5);
    EXPECT_EQ(scrambled.size(), 72u);
    EXPECT_EQ(ChainDecrypt(scrambled, "qvtrm"), GetAFilePlainText("a.dll"));
}

TEST_F(ProtocolTest, WriteFailureIsRaisedWithTheCreateMessage) {
    UpdateServerFixture server;
    SetServerBaseUrl(server.BaseUrl());
    server.WritePackageFile("a.dll", "a");
    TempFolder target;
    // Folders on the way are not created.
    try {
        DownloadServerFile("a.dll", target.path() + "no\\such\\a.dll");
        ADD_FAILURE() << "no failure raised";
    } catch (const EFCreateError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Cannot create file \"", 0), 0u) << e.what();
    }
}

}  // namespace
}  // namespace klv
