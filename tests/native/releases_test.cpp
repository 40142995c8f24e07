// The update server over a releases folder: a release published in the
// middle of a synchronisation never mixes into it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "http/http_client.h"
#include "sync/package_sync.h"
#include "protocol/update_request.h"
#include "support/raw_http.h"
#include "support/recording_sync_view.h"
#include "support/temp_folder.h"
#include "support/update_server_fixture.h"

namespace klv {
namespace {

using test::RecordingSyncView;
using test::TempFolder;
using test::UpdateServerFixture;

class ReleasesTest : public ::testing::Test {
protected:
    ReleasesTest() {
        for (const char* release : {"r1", "r2"}) {
            const std::string r = release;
            server_.WritePackageFile(r + "\\files.txt",
                                     "a.txt=" + r.substr(1) + "\r\nsub\\b.txt=" + r.substr(1) + "\r\n");
            server_.WritePackageFile(r + "\\a.txt", r + " a");
            server_.WritePackageFile(r + "\\sub\\b.txt", r + " b");
        }
        Publish("r1");
        SetServerBaseUrl(server_.BaseUrl());
    }

    // Switches "current" by one rename, as the release tool does.
    void Publish(const std::string& release) {
        const std::string root = server_.Package().native();
        const std::string temp = root + ".current.new";
        ::unlink(temp.c_str());
        ASSERT_EQ(::symlink(release.c_str(), temp.c_str()), 0);
        ASSERT_EQ(::rename(temp.c_str(), (root + "current").c_str()), 0);
    }

    // The release a synchronised folder holds: "r1" or "r2", or "mixed".
    static std::string ReleaseIn(const TempFolder& folder) {
        for (const char* release : {"r1", "r2"}) {
            const std::string r = release;
            if (folder.Read("a.txt") == r + " a" && folder.Read("sub\\b.txt") == r + " b" &&
                folder.Read("files.txt") == "a.txt=" + r.substr(1) + "\r\nsub\\b.txt=" + r.substr(1) + "\r\n")
                return r;
        }
        return "mixed";
    }

    UpdateServerFixture server_;
};

TEST_F(ReleasesTest, ASynchronisationEndsWithTheReleaseItStartedWith) {
    struct Row {
        bool publishDuring;  // r2 is published once the manifest has arrived
        bool sameClient;     // a second run on the first run's client object
        const char* first;   // what the first run's folder holds
        const char* second;  // what a second run's folder holds
        const char* catches;
    };
    const Row rows[] = {
        {true, false, "r1", "r2", "the files of a run follow its manifest's release; a new client gets the new one"},
        {true, true, "r1", "r1", "the client that synchronised keeps its release while it goes on asking"},
        {false, false, "r1", "r1", "nothing published: the current release for both"},
    };
    for (const Row& row : rows) {
        Publish("r1");
        TempFolder first, second;
        HttpClient http, other;
        RecordingSyncView view;
        bool published = false;
        // Once the manifest is in and the first file is due: the tooltip
        // names the file being fetched.
        view.onPump = [&] {
            if (published || view.Last("tooltip").find("a.txt") == std::string::npos) return;
            if (row.publishDuring) Publish("r2");
            published = true;
        };
        PackageSynchroniser sync(http, platform::RealFileSystem(), view);
        ASSERT_TRUE(sync.SyncPackage(first.path(), SyncProgressBar::Download)) << row.catches;
        EXPECT_TRUE(published) << "the run never let the switch happen: " << row.catches;
        EXPECT_EQ(ReleaseIn(first), row.first) << row.catches;

        RecordingSyncView quiet;
        PackageSynchroniser again(row.sameClient ? http : other, platform::RealFileSystem(), quiet);
        ASSERT_TRUE(again.SyncPackage(second.path(), SyncProgressBar::Download)) << row.catches;
        EXPECT_EQ(ReleaseIn(second), row.second) << row.catches;
    }
}

TEST_F(ReleasesTest, ACookieNamingNoServedReleaseGetsTheCurrentOne) {
    Publish("r2");
    // The GetAFile target for a.txt: the request as the launcher sends it.
    const std::string url = GetAFileUrl("a.txt");
    const std::string target = url.substr(url.find('/', std::string("http://").size()));
    struct Row {
        const char* cookie;
        const char* served;  // the release whose cookie comes back
    };
    const Row rows[] = {
        {"KLVRelease=r1", "r1"},  // a live pin is kept
        {"x=1; KLVRelease=r1 ;y=2", "r1"},
        {"KLVRelease=..", "r2"},  // never a folder outside the releases
        {"KLVRelease=current", "r2"},
        {"KLVRelease=r1/../r2", "r2"},
        {"KLVRelease=gone", "r2"},  // a release taken away: the current one
        {"other=r1", "r2"},
    };
    for (const Row& row : rows) {
        test::RawConnection connection(server_.Port());
        ASSERT_TRUE(
            connection.Send("GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nCookie: " + row.cookie + "\r\n\r\n"));
        const test::RawAnswer answer = connection.Read();
        EXPECT_EQ(answer.status, 200) << row.cookie;
        EXPECT_NE(answer.head.find(std::string("Set-Cookie: KLVRelease=") + row.served + ";"), std::string::npos)
            << row.cookie << "\n"
            << answer.head;
    }
}

}  // namespace
}  // namespace klv
