// `klv-client sync`: the same synchronisation as the launcher's, from the
// command line, against the real update server.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "support/temp_folder.h"
#include "support/update_server_fixture.h"

namespace klv {
namespace {

using test::TempFolder;
using test::UpdateServerFixture;

struct SyncRun {
    int exitCode = -1;
    std::string err;
};

SyncRun RunSync(const UpdateServerFixture& server, const std::string& folder) {
    TempFolder scratch;
    const std::string command = "'" + test::ToolsDir() + "/klv-client' --server " + server.BaseUrl() + " sync '" +
                                folder + "' >/dev/null 2>" + scratch.native() + "err";
    const int status = std::system(command.c_str());
    SyncRun run;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream in(scratch.native() + "err", std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    run.err = text.str();
    return run;
}

TEST(KlvClientSync, ExitCodesFollowTheOutcome) {
    UpdateServerFixture server;
    TempFolder local;
    server.WritePackageFile("files.txt", "a.dll=1\r\nsub\\b.dll=1\r\n");
    server.WritePackageFile("a.dll", "A");
    server.WritePackageFile("sub\\b.dll", "B");

    // A native folder without the trailing slash: the client adds the separator.
    std::string folder = local.native();
    folder.pop_back();
    const SyncRun done = RunSync(server, folder);
    EXPECT_EQ(done.exitCode, 0) << done.err;
    EXPECT_EQ(local.Read("sub\\b.dll"), "B");
    EXPECT_NE(done.err.find("(1/2) 100%"), std::string::npos);  // the progress line

    server.WritePackageFile("files.txt", "a.dll=1\r\nc.dll=1\r\n");  // c.dll is not on the server
    const SyncRun failed = RunSync(server, local.native());
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_EQ(local.Read("files.txt"), "a.dll=1\r\nsub\\b.dll=1\r\n");

    server.WritePackageFile("files.txt", "a.dll=x\r\n");  // present, and not a version
    const SyncRun raised = RunSync(server, local.native());
    EXPECT_EQ(raised.exitCode, 2);
    EXPECT_NE(raised.err.find("'x' is not a valid integer value"), std::string::npos) << raised.err;

    TempFolder empty;
    UpdateServerFixture bare;  // no files.txt at all
    const SyncRun noManifest = RunSync(bare, empty.native());
    EXPECT_EQ(noManifest.exitCode, 1);
    EXPECT_NE(noManifest.err.find("下载文件失败"), std::string::npos);
}

}  // namespace
}  // namespace klv
