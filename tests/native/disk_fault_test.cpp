// File faults while package files are replaced, against the real update
// server and real folders: a disk that fills up in the middle of a write, and
// a file that becomes locked while its replacement downloads. Whatever goes
// wrong, the file in place must stay as it was and nothing may be left
// behind: no displaced copy of a file that was not replaced, no temporary file.
#include <gtest/gtest.h>

#include "platform/error.h"
#include "platform/file_system.h"
#include "http/http_client.h"
#include "sync/package_fetch.h"
#include "sync/package_sync.h"
#include "protocol/update_request.h"
#include "support/full_disk_file_system.h"
#include "support/recording_sync_view.h"
#include "support/refusing_file_system.h"
#include "support/temp_folder.h"
#include "support/update_server_fixture.h"

namespace klv {
namespace {

using test::FullDiskFileSystem;
using test::RecordingSyncView;
using test::RefusingFileSystem;
using test::TempFolder;
using test::UpdateServerFixture;

using Files = std::vector<std::string>;

class DiskFaultTest : public ::testing::Test {
protected:
    DiskFaultTest() { SetServerBaseUrl(server_.BaseUrl()); }

    UpdateServerFixture server_;
    TempFolder local_;
    HttpClient http_;
};

TEST_F(DiskFaultTest, AFullDiskLeavesTheFileInPlaceAsItWas) {
    struct Row {
        bool inUse;
        const char* why;
    };
    const Row rows[] = {
        // The old file used to be deleted before the write that then failed.
        {false, "a file that can be deleted"},
        // Moved aside to x.dll.old for the write, it must come back.
        {true, "a file in use, which can only be moved"},
    };
    server_.WritePackageFile("x.dll", std::string(4096, 'n'));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        TempFolder local;
        local.Write("x.dll", "old x");
        RefusingFileSystem refusing(platform::RealFileSystem());
        if (row.inUse) refusing.undeletable.insert(local.path() + "x.dll");
        FullDiskFileSystem disk(refusing, 1000);
        try {
            FetchPackageFile(http_, disk, local.path(), "x.dll");
            ADD_FAILURE() << "the write did not fail";
        } catch (const EFCreateError& e) {
            // The failure names the file being replaced, not a name of the
            // fetch's own making.
            EXPECT_STREQ(e.what(),
                         ("Cannot create file \"" + local.path() + "x.dll\". No space left on device").c_str());
        }
        EXPECT_EQ(disk.refusedWrites, Files{local.path() + "x.dll"});
        EXPECT_EQ(local.Read("x.dll"), "old x");
        EXPECT_EQ(local.Files(), Files{"x.dll"});
    }
}

TEST_F(DiskFaultTest, AFullDiskEndsTheSynchronisationWithTheManifestRestored) {
    const std::string previous = "a.dll=1\r\nb.dll=1\r\nc.dll=1\r\n";
    local_.Write("files.txt", previous);
    for (const char* name : {"a.dll", "b.dll", "c.dll"}) local_.Write(name, std::string("old ") + name);
    const std::string manifest = "a.dll=2\r\nb.dll=2\r\nc.dll=2\r\n";
    server_.WritePackageFile("files.txt", manifest);
    server_.WritePackageFile("a.dll", std::string(100, 'a'));
    server_.WritePackageFile("b.dll", std::string(5000, 'b'));  // does not fit
    server_.WritePackageFile("c.dll", std::string(100, 'c'));
    FullDiskFileSystem disk(platform::RealFileSystem(), manifest.size() + 100 + 1000);
    RecordingSyncView view;
    PackageSynchroniser sync(http_, disk, view);

    EXPECT_THROW(sync.SyncPackage(local_.path(), SyncProgressBar::Download), EFCreateError);
    EXPECT_EQ(local_.Read("a.dll"), std::string(100, 'a'));
    EXPECT_EQ(local_.Read("b.dll"), "old b.dll");
    EXPECT_EQ(local_.Read("c.dll"), "old c.dll");
    EXPECT_EQ(local_.Read("files.txt"), previous);
    EXPECT_EQ(local_.Files(), (Files{"a.dll", "b.dll", "c.dll", "files.txt"}));
    EXPECT_EQ(view.Last("visible"), "0");
    EXPECT_EQ(view.Last("actions"), "1");
}

TEST_F(DiskFaultTest, AManifestThatDoesNotFitLeavesThePreviousOne) {
    const std::string previous = "a.dll=1\r\n";
    local_.Write("files.txt", previous);
    server_.WritePackageFile("files.txt", "a.dll=2\r\n" + std::string(2000, '\n'));
    FullDiskFileSystem disk(platform::RealFileSystem(), 1000);
    RecordingSyncView view;
    PackageSynchroniser sync(http_, disk, view);
    EXPECT_THROW(sync.SyncPackage(local_.path(), SyncProgressBar::Download), EFCreateError);
    EXPECT_EQ(local_.Read("files.txt"), previous);
    EXPECT_EQ(local_.Files(), Files{"files.txt"});
}

// The lock comes while the replacement is on its way: after the request,
// before the write.
class LockDuringDownload : public DiskFaultTest {
protected:
    LockDuringDownload() {
        server_.WritePackageFile("x.dll", std::string(200000, 'n'));
        local_.Write("x.dll", "running x");
        http_.OnWork = [this](HttpClient&, WorkMode, std::int32_t) {
            files_.undeletable.insert(local_.path() + "x.dll");
            if (!lockMovable_) files_.unmovable.insert(local_.path() + "x.dll");
        };
    }
    RefusingFileSystem files_{platform::RealFileSystem()};
    bool lockMovable_ = false;
};

TEST_F(LockDuringDownload, AFileLockedAgainstBothDeletingAndMovingIsKeptAndTheFetchFails) {
    EXPECT_FALSE(FetchPackageFile(http_, files_, local_.path(), "x.dll"));
    EXPECT_EQ(local_.Read("x.dll"), "running x");
    EXPECT_EQ(local_.Files(), Files{"x.dll"});
    EXPECT_EQ(server_.RequestCount(), 1);  // the download itself succeeded
}

TEST_F(LockDuringDownload, AFileInUseIsMovedAsideAndReplaced) {
    lockMovable_ = true;
    ASSERT_TRUE(FetchPackageFile(http_, files_, local_.path(), "x.dll"));
    EXPECT_EQ(local_.Read("x.dll"), std::string(200000, 'n'));
    EXPECT_EQ(local_.Read("x.dll.old"), "running x");
    EXPECT_EQ(local_.Files(), (Files{"x.dll", "x.dll.old"}));
}

TEST_F(LockDuringDownload, ALockedFileStopsTheSynchronisationWithTheManifestRestored) {
    const std::string previous = "x.dll=1\r\ny.dll=1\r\n";
    local_.Write("files.txt", previous);
    local_.Write("y.dll", "old y");
    server_.WritePackageFile("files.txt", "x.dll=2\r\ny.dll=2\r\n");
    server_.WritePackageFile("y.dll", "new y");
    RecordingSyncView view;
    PackageSynchroniser sync(http_, files_, view);
    // The synchroniser hooks the client's work events for itself; the lock
    // comes from the window's message loop instead, once x.dll's turn is on.
    view.onPump = [&] {
        if (view.Last("text").rfind("(0/2)", 0) == 0) {
            files_.undeletable.insert(local_.path() + "x.dll");
            files_.unmovable.insert(local_.path() + "x.dll");
        }
    };
    EXPECT_FALSE(sync.SyncPackage(local_.path(), SyncProgressBar::Download));
    EXPECT_EQ(local_.Read("x.dll"), "running x");
    EXPECT_EQ(local_.Read("y.dll"), "old y");  // never reached
    EXPECT_EQ(local_.Read("files.txt"), previous);
    EXPECT_EQ(local_.Files(), (Files{"files.txt", "x.dll", "y.dll"}));
}

}  // namespace
}  // namespace klv
