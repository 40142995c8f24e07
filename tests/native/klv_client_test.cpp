// The klv-client binary: its commands, output and exit codes against the
// real update server.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "protocol/chain_cipher.h"
#include "support/canned_answer_server.h"
#include "support/temp_folder.h"
#include "support/update_server_fixture.h"

namespace klv {
namespace {

using test::TempFolder;
using test::UpdateServerFixture;

struct ClientRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string Quote(const std::string& arg) {
    std::string quoted = "'";
    for (const char c : arg) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

ClientRun RunClient(const std::vector<std::string>& args) {
    static TempFolder scratch;
    std::string command = Quote(test::ToolsDir() + "/klv-client");
    for (const std::string& arg : args) command += " " + Quote(arg);
    command += " >" + scratch.native() + "out 2>" + scratch.native() + "err";
    const int status = std::system(command.c_str());
    ClientRun run;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = Slurp(scratch.native() + "out");
    run.err = Slurp(scratch.native() + "err");
    return run;
}

TEST(KlvClient, CheckPrintsNewerOrNotNewer) {
    UpdateServerFixture server;
    server.WritePackageFile("files.txt", "Kesto.exe=1.0.12.16\r\n");
    const ClientRun newer = RunClient({"--server", server.BaseUrl(), "check", "Kesto.exe", "1.0.12.15"});
    EXPECT_EQ(newer.exitCode, 0);
    EXPECT_EQ(newer.out, "newer\n");
    const ClientRun same = RunClient({"--server", server.BaseUrl(), "check", "Kesto.exe", "1.0.12.16"});
    EXPECT_EQ(same.exitCode, 1);
    EXPECT_EQ(same.out, "not newer\n");
    EXPECT_EQ(server.RequestCount(), 2);  // --server really replaced the address
}

TEST(KlvClient, GetExitCodes) {
    UpdateServerFixture server;
    server.WritePackageFile("sub\\a.dll", "content of a");
    TempFolder target;
    const ClientRun ok = RunClient({"--server", server.BaseUrl(), "get", "sub\\a.dll", target.path() + "a.dll"});
    EXPECT_EQ(ok.exitCode, 0) << ok.err;
    EXPECT_EQ(target.Read("a.dll"), "content of a");
    const ClientRun missing = RunClient({"--server", server.BaseUrl(), "get", "nope.dll", target.path() + "b.dll"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_FALSE(target.Exists("b.dll"));
    // A raised failure: exit 2, its message on stderr.
    test::CannedAnswerServer peer(test::CannedAnswerServer::Ok("abc"));
    const ClientRun raised = RunClient({"--server", peer.BaseUrl(), "get", "a.dll", target.path() + "c.dll"});
    EXPECT_EQ(raised.exitCode, 2);
    EXPECT_EQ(raised.err, "Stream read error\n");
    EXPECT_FALSE(target.Exists("c.dll"));
}

TEST(KlvClient, DecodeWritesTheBytesExactly) {
    // Bytes 1..254 survive the chain unchanged (0 does not); the double-byte
    // pair and the control byte must reach stdout exactly, no text conversion.
    const std::string plain = "aFlag=KLVGetAFile\r\nFileName=\xC4\x5C\x01\xFEx.dll\r\n";
    const ClientRun run = RunClient({"decode", ChainEncrypt(plain, kRequestKey)});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, plain);
    EXPECT_EQ(RunClient({"decode", "zz"}).out, "");  // malformed: nothing, still no failure
}

TEST(KlvClient, UsageErrorsExitWith2) {
    const std::vector<std::string> cases[] = {
        {},                                                          // no command
        {"fetch", "a"},                                              // unknown command
        {"check", "a"},                                              // too few arguments
        {"get", "a", "b", "c"},                                      // too many arguments
        {"--server"},                                                // option without its value
        {"--server", "localhost:9988", "check", "a", "1"},           // not http://host:port/
        {"--server", "http://127.0.0.1:99999/", "check", "a", "1"},  // port out of range
        {"--server", "http://127.0.0.1:80/x", "check", "a", "1"},    // a path after the port
    };
    for (const auto& args : cases) {
        SCOPED_TRACE(::testing::PrintToString(args));
        const ClientRun run = RunClient(args);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_NE(run.err.find("usage: klv-client"), std::string::npos);
    }
    const ClientRun help = RunClient({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("check NAME VERSION"), std::string::npos);
}

}  // namespace
}  // namespace klv
