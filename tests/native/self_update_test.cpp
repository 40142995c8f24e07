// The self-update worker's decisions against the real klv-update-server on
// loopback and a real temporary folder: which launcher file it ends up with,
// whether it asks the server, and what it raises. The launcher images are the
// cross-compiled samples of this build (tools/pe-samples).
#include "selfupdate/self_update.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <fstream>
#include <thread>
#include <iterator>
#include <optional>

#include "platform/error.h"
#include "platform/file_system.h"
#include "protocol/update_request.h"
#include "support/canned_answer_server.h"
#include "support/file_body.h"
#include "support/scripted_peer.h"
#include "support/temp_folder.h"
#include "support/update_server_fixture.h"

namespace klv {
namespace {

using test::TempFolder;
using test::UpdateServerFixture;

std::string Sample(const std::string& name) {
    std::ifstream in(std::string(KLV_TOOLS_DIR) + "/pe-samples/" + name, std::ios::binary);
    EXPECT_TRUE(in) << name << " is missing: the native build makes it with mingw-w64";
    return std::string{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The newer launcher (1.0.13.0) for this build's machine, and ways it can be
// wrong.
const std::string& Next() {
    static const std::string bytes = Sample("next-x86-64.exe");
    return bytes;
}
std::string Cut() {
    return Next().substr(0, Next().size() - 3000);
}
std::string Foreign() {
    return Sample("next-i386.exe");
}
std::string Unversioned() {
    return Sample("plain-x86-64.exe");
}

// The server writes its log line once it has answered, so the line may lag
// behind the answer a little.
bool LogShows(const UpdateServerFixture& server, const std::string& text) {
    for (int i = 0; i < 200; ++i) {
        if (server.Log().find(text) != std::string::npos) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// The temporary folder `temp`, and a stick with the running launcher in a
// folder of its own beside it.
SelfUpdatePlace Place(const TempFolder& temp) {
    if (!platform::RealFileSystem().DirectoryExists(temp.path() + "stick\\"))
        temp.Write("stick\\KLV Start.exe", "the running launcher");
    return SelfUpdatePlace{temp.path(), temp.path() + "stick\\KLV Start.exe", nullptr};
}

// Where an offered launcher lies.
std::string Offered(const TempFolder& temp) {
    return temp.path() + "KLVUpdate\\Kesto.exe";
}

class SelfUpdateTest : public testing::Test {
protected:
    void SetUp() override {
        UpdateAvailable = true;  // the body must clear it itself
        FetchedLauncherPath = "stale";
    }
    void TearDown() override { SetServerBaseUrl(savedUrl_); }

    std::optional<std::string> Fetched() const {
        if (!temp_.Exists("Kesto.exe")) return std::nullopt;
        return temp_.Read("Kesto.exe");
    }
    void Run(const std::string& running) { SelfUpdateBody(running, Place(temp_), platform::RealFileSystem()); }

    TempFolder temp_;
    std::string savedUrl_ = ServerBaseUrl();
};

TEST_F(SelfUpdateTest, DecisionsAgainstTheServer) {
    struct Case {
        const char* why;
        std::optional<std::string> present;  // Kesto.exe in the temporary folder beforehand
        const char* running;
        std::optional<std::string> offered;  // Kesto.exe in the server's package
        const char* listed;                  // its version in files.txt
        bool available;
        long long requests;
        std::optional<std::string> after;  // Kesto.exe in the temporary folder afterwards
    };
    const Case cases[] = {
        {"present and newer: decided without the server", Next(), "1.0.12.15", Next(), "1.0.14.0", true, 0, Next()},
        {"present and the same version (a swap's leftover): removed, and the server is asked again", Next(), "1.0.13.0",
         Next(), "1.0.14.0", false, 2, std::nullopt},
        {"present, newer by the manifests' rule but older in fact: never a downgrade, and it goes", Next(), "1.1.0.0",
         std::nullopt, "", false, 1, std::nullopt},
        {"the server's file is older in fact than the running launcher: never installed", std::nullopt, "1.1.0.0",
         Next(), "1.2.0.0", false, 2, std::nullopt},
        {"a running launcher without a version takes any fetched one", Next(), "", std::nullopt, "", true, 0, Next()},
        {"absent, the server says OK: fetched", std::nullopt, "1.0.12.15", Next(), "1.0.13.0", true, 2, Next()},
        {"absent, the server says NO", std::nullopt, "1.0.13.0", Next(), "1.0.13.0", false, 1, std::nullopt},
        {"absent, the server has no launcher", std::nullopt, "1.0.12.15", std::nullopt, "", false, 1, std::nullopt},
        {"a malformed running version reaches the server, which cannot vouch for it", std::nullopt, "1.x", Next(),
         "1.0.13.0", false, 1, std::nullopt},
        {"a partial download left by an earlier run is fetched anew", Cut(), "1.0.12.15", Next(), "1.0.13.0", true, 2,
         Next()},
        {"a launcher for another machine is fetched anew", Foreign(), "1.0.12.15", Next(), "1.0.13.0", true, 2, Next()},
        {"a file whose version cannot be read is fetched anew", Unversioned(), "1.0.12.15", Next(), "1.0.13.0", true, 2,
         Next()},
        {"a damaged file and nothing on the server: it is gone all the same", Cut(), "1.0.12.15", std::nullopt, "",
         false, 1, std::nullopt},
        {"the server offers a cut-short launcher: never installed", std::nullopt, "1.0.12.15", Cut(), "1.0.13.0", false,
         2, std::nullopt},
        {"the server offers one for another machine: never installed", std::nullopt, "1.0.12.15", Foreign(), "1.0.13.0",
         false, 2, std::nullopt},
        {"the server's manifest promises more than its file holds: no self-replacement by the same release",
         std::nullopt, "1.0.13.0", Next(), "1.0.14.0", false, 2, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        TempFolder temp;
        if (c.present) temp.Write("Kesto.exe", *c.present);
        UpdateServerFixture server;
        if (c.offered) server.WritePackageFile("Kesto.exe", *c.offered);
        server.WritePackageFile("files.txt",
                                c.offered ? std::string("Kesto.exe=") + c.listed + "\r\n" : "a.dll=1.0\r\n");
        SetServerBaseUrl(server.BaseUrl());
        UpdateAvailable = true;

        SelfUpdateBody(c.running, Place(temp), platform::RealFileSystem());

        EXPECT_EQ(UpdateAvailable, c.available);
        // An offered launcher has left the temporary folder for the update folder.
        if (c.available) {
            EXPECT_EQ(FetchedLauncherPath, Offered(temp));
            EXPECT_TRUE(temp.Exists("KLVUpdate\\Kesto.exe") && temp.Read("KLVUpdate\\Kesto.exe") == *c.after);
            EXPECT_EQ(FetchedLauncherVersion, "1.0.13.0");
        }
        EXPECT_EQ(server.RequestCount(), c.requests) << server.Log();
        const std::optional<std::string> after =
            temp.Exists("Kesto.exe") ? std::optional<std::string>(temp.Read("Kesto.exe")) : std::nullopt;
        EXPECT_EQ(after.has_value(), c.after.has_value() && !c.available);
        if (after && c.after) {
            EXPECT_TRUE(*after == *c.after) << "Kesto.exe holds other bytes";
        }
        if (c.requests > 0) {
            const std::string check =
                std::string("aFlag=CheckFileUp | FileName=Kesto.exe | NowVer=") + c.running + "\"";
            EXPECT_TRUE(LogShows(server, check)) << server.Log();
        }
    }
}

TEST_F(SelfUpdateTest, ServerDownLeavesNothing) {
    int port;
    {
        UpdateServerFixture server;
        port = server.Port();
    }
    SetServerBaseUrl("http://127.0.0.1:" + std::to_string(port) + "/");
    Run("1.0.12.15");
    EXPECT_FALSE(UpdateAvailable);
    EXPECT_FALSE(Fetched().has_value());
}

TEST_F(SelfUpdateTest, MalformedRunningVersionAgainstAFetchedFileRaises) {
    temp_.Write("Kesto.exe", Next());
    EXPECT_THROW(Run("1.x.0"), EConvertError);
    EXPECT_FALSE(UpdateAvailable);
    EXPECT_EQ(Fetched(), Next()) << "a comparison failure removes nothing";
}

// Our server never sends a damaged body; a scripted peer answers the check
// with "OK" and the fetch with a stream that does not inflate.
TEST_F(SelfUpdateTest, DamagedBodyRaisesAndWritesNothing) {
    // A broken stream header: the inflater refuses at once.
    std::string stream = test::ZlibStream(Next());
    stream[0] = static_cast<char>(stream[0] ^ 0x0F);
    const std::string body = test::LengthField(static_cast<std::uint32_t>(Next().size())) + stream;
    test::ScriptedPeer peer({
        {test::ReadRequest(), test::Send(test::CannedAnswerServer::Ok("OK")), test::CloseNow()},
        {test::ReadRequest(), test::Send(test::CannedAnswerServer::Ok(body)), test::CloseNow()},
    });
    SetServerBaseUrl(peer.Url("/"));
    EXPECT_THROW(Run("1.0.12.15"), Error);
    EXPECT_FALSE(UpdateAvailable);
    EXPECT_FALSE(Fetched().has_value());
    EXPECT_EQ(peer.Connections(), 2);
}

TEST_F(SelfUpdateTest, FetchedFileThatCannotBeRemovedStaysAndNothingIsAsked) {
    UpdateServerFixture server;
    server.WritePackageFile("Kesto.exe", Next());
    server.WritePackageFile("files.txt", "Kesto.exe=1.0.13.0\r\n");
    SetServerBaseUrl(server.BaseUrl());
    temp_.Write("Kesto.exe", Cut());
    ASSERT_TRUE(platform::RealFileSystem().SetReadOnly(temp_.path() + "Kesto.exe", true));
    Run("1.0.12.15");
    EXPECT_FALSE(UpdateAvailable);
    EXPECT_EQ(server.RequestCount(), 0);
    EXPECT_EQ(Fetched(), Cut());
    platform::RealFileSystem().SetReadOnly(temp_.path() + "Kesto.exe", false);
}

TEST_F(SelfUpdateTest, NoTemporaryFolderNoUpdate) {
    UpdateServerFixture server;
    SetServerBaseUrl(server.BaseUrl());
    SelfUpdateBody("1.0.12.15", SelfUpdatePlace{}, platform::RealFileSystem());
    EXPECT_FALSE(UpdateAvailable);
    EXPECT_EQ(server.RequestCount(), 0);
}

// When a later launcher is offered, and what stays where, with the server
// offering Next() (1.0.13.0) to a running 1.0.12.15.
TEST_F(SelfUpdateTest, NoOfferThatCannotBeMadeOrWasRefused) {
    struct Case {
        const char* why;
        std::function<void(const TempFolder&)> before;
        const char* trusted;  // "yes", or "no" for a file that fails the publisher check
        bool available;
        const char* nowVer;  // the version the server is asked with; "" for no request
        bool keptForLater;   // Kesto.exe stays in the temporary folder
        const char* recordAfter;
    };
    const auto record = [](const char* text) {
        return [text](const TempFolder& t) { t.Write("KLVUpdate\\QNUp.record", text); };
    };
    const auto readOnlyLauncher = [](const TempFolder& t) {
        Place(t);
        platform::RealFileSystem().SetReadOnly(t.path() + "stick\\KLV Start.exe", true);
    };
    const auto noStick = [](const TempFolder& t) {
        Place(t);
        platform::RealFileSystem().RemoveFile(t.path() + "stick\\KLV Start.exe");
    };
    const Case cases[] = {
        {"the plain offer", nullptr, "yes", true, "1.0.12.15", false, nullptr},
        {"one that fails the publisher check is removed", nullptr, "no", false, "1.0.12.15", false, nullptr},
        {"a read-only launcher cannot be replaced: kept for later", readOnlyLauncher, "yes", false, "1.0.12.15", true,
         nullptr},
        {"the stick is gone: kept for later", noStick, "yes", false, "1.0.12.15", true, nullptr},
        {"a replacement on trial: kept for later", [](const TempFolder& t) { t.Write("KLVUpdate\\QNUp.pending", ""); },
         "yes", false, "1.0.12.15", true, nullptr},
        {"the run right after a replacement was given up: kept, and the record is used up", record("once\r\n"), "yes",
         false, "1.0.12.15", true, nullptr},
        {"a refused release is not asked for again", record("refused 1.0.13.0\r\n"), "yes", false, "1.0.13.0", false,
         "refused 1.0.13.0\r\n"},
        {"a refusal of a release older than the running one is dropped", record("refused 1.0.12.0\r\n"), "yes", true,
         "1.0.12.15", false, nullptr},
        {"a refused release planted in the temporary folder goes",
         [](const TempFolder& t) {
             t.Write("KLVUpdate\\QNUp.record", "refused 1.0.13.0\r\n");
             t.Write("Kesto.exe", Next());
         },
         "yes", false, "1.0.13.0", false, "refused 1.0.13.0\r\n"},
        {"a record that is no version refuses nothing", record("refused 1.x\r\n"), "yes", true, "1.0.12.15", false,
         nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        TempFolder temp;
        if (c.before) c.before(temp);
        UpdateServerFixture server;
        server.WritePackageFile("Kesto.exe", Next());
        server.WritePackageFile("files.txt", "Kesto.exe=1.0.13.0\r\n");
        SetServerBaseUrl(server.BaseUrl());
        SelfUpdatePlace place = Place(temp);
        std::string checked;
        place.trusted = [&](const std::string& path) {
            checked = path;
            return std::string(c.trusted) == "yes";
        };

        SelfUpdateBody("1.0.12.15", place, platform::RealFileSystem());

        EXPECT_EQ(UpdateAvailable, c.available);
        EXPECT_EQ(temp.Exists("Kesto.exe"), c.keptForLater);
        EXPECT_EQ(temp.Exists("KLVUpdate\\Kesto.exe"), c.available);
        if (c.available) {
            EXPECT_EQ(checked, Offered(temp)) << "checked where it is offered from";
        }
        EXPECT_FALSE(temp.Exists("stick\\KLV Start.exe.new")) << "the probe stays";
        if (*c.nowVer != '\0') {
            EXPECT_TRUE(LogShows(server, std::string("NowVer=") + c.nowVer + "\"")) << server.Log();
        }
        EXPECT_EQ(temp.Exists("KLVUpdate\\QNUp.record"), c.recordAfter != nullptr);
        if (c.recordAfter != nullptr && temp.Exists("KLVUpdate\\QNUp.record")) {
            EXPECT_EQ(temp.Read("KLVUpdate\\QNUp.record"), c.recordAfter);
        }
        platform::RealFileSystem().SetReadOnly(temp.path() + "stick\\KLV Start.exe", false);
    }
}

// A link planted at the update folder's name goes as a link: what it leads
// to is never emptied.
TEST_F(SelfUpdateTest, ALinkAtTheUpdateFolderIsRemovedNotFollowed) {
    TempFolder elsewhere;
    elsewhere.Write("precious.txt", "mine");
    ASSERT_EQ(symlink(elsewhere.native().c_str(), (temp_.native() + "/KLVUpdate").c_str()), 0);
    UpdateServerFixture server;
    server.WritePackageFile("Kesto.exe", Next());
    server.WritePackageFile("files.txt", "Kesto.exe=1.0.13.0\r\n");
    SetServerBaseUrl(server.BaseUrl());
    Run("1.0.12.15");
    EXPECT_TRUE(UpdateAvailable);
    EXPECT_EQ(elsewhere.Read("precious.txt"), "mine");
    EXPECT_TRUE(platform::RealFileSystem().DirectoryExists(temp_.path() + "KLVUpdate\\"));
    struct stat info {};
    ASSERT_EQ(lstat((temp_.native() + "/KLVUpdate").c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode)) << "a real folder of our own now";
    EXPECT_EQ(info.st_mode & 0077, 0u) << "for its owner only";
}

}  // namespace
}  // namespace klv
