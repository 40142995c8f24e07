// FetchPackageFile against the real update server on loopback, into real
// temporary folders; a wrapper around the real file layer stands for files
// that Windows refuses to delete or move.
#include <gtest/gtest.h>

#include "http/http_client.h"
#include "package/manifest.h"
#include "package/name_rule.h"
#include "sync/package_fetch.h"
#include "protocol/update_request.h"
#include "support/refusing_file_system.h"
#include "support/temp_folder.h"
#include "support/update_server_fixture.h"

namespace klv {
namespace {

using test::RefusingFileSystem;
using test::TempFolder;
using test::UpdateServerFixture;

class PackageFetchTest : public ::testing::Test {
protected:
    explicit PackageFetchTest(const std::vector<std::string>& serverArgs = {}) : server_(serverArgs) {
        SetServerBaseUrl(server_.BaseUrl());
        server_.WritePackageFile("x.dll", "new x");
        server_.WritePackageFile("sub\\deep\\y.dll", "new y");
    }
    bool Fetch(const std::string& name) { return FetchPackageFile(http_, files_, local_.path(), name); }

    UpdateServerFixture server_;
    TempFolder local_;
    HttpClient http_;
    RefusingFileSystem files_{platform::RealFileSystem()};
};

TEST_F(PackageFetchTest, CreatesAMissingFileAndItsSubFoldersWithOneRequest) {
    ASSERT_TRUE(Fetch("sub\\deep\\y.dll"));
    EXPECT_EQ(local_.Read("sub\\deep\\y.dll"), "new y");
    EXPECT_EQ(server_.RequestCount(), 1);
}

TEST_F(PackageFetchTest, ReplacesADeletableFileWithoutLeavingAnOldCopy) {
    local_.Write("x.dll", "old x");
    ASSERT_TRUE(Fetch("x.dll"));
    EXPECT_EQ(local_.Read("x.dll"), "new x");
    EXPECT_FALSE(local_.Exists("x.dll.old"));
}

TEST_F(PackageFetchTest, WritesAnEmptyFileForAnEmptyPackageFile) {
    server_.WritePackageFile("empty.dat", "");
    local_.Write("empty.dat", "old content");
    ASSERT_TRUE(Fetch("empty.dat"));
    EXPECT_TRUE(local_.Exists("empty.dat"));
    EXPECT_EQ(local_.Read("empty.dat"), "");
}

TEST_F(PackageFetchTest, MovesAFileInUseAsideUnderTheFirstFreeOldName) {
    struct Row {
        const char* why;
        std::vector<std::string> existing;     // displaced copies present before the fetch
        std::vector<std::string> undeletable;  // of those, the ones still in use
        std::string expectedName;              // where the old x.dll ends up
    };
    const Row rows[] = {
        // The plain case: the first choice is free.
        {"first choice", {}, {}, "x.dll.old"},
        // A rename must not replace: .old exists, so the numbered names start.
        {".old taken", {"x.dll.old"}, {"x.dll.old"}, "x.dll.old0"},
        // A numbered copy that can be deleted now is reused, not skipped.
        {".old0 reusable", {"x.dll.old", "x.dll.old0"}, {"x.dll.old"}, "x.dll.old0"},
        // A numbered copy still in use is skipped.
        {".old0 in use", {"x.dll.old", "x.dll.old0"}, {"x.dll.old", "x.dll.old0"}, "x.dll.old1"},
        // Counting goes on past 9 without leading zeros or a cap.
        {"many in use",
         {"x.dll.old", "x.dll.old0", "x.dll.old1", "x.dll.old2", "x.dll.old3", "x.dll.old4", "x.dll.old5", "x.dll.old6",
          "x.dll.old7", "x.dll.old8", "x.dll.old9"},
         {"x.dll.old", "x.dll.old0", "x.dll.old1", "x.dll.old2", "x.dll.old3", "x.dll.old4", "x.dll.old5", "x.dll.old6",
          "x.dll.old7", "x.dll.old8", "x.dll.old9"},
         "x.dll.old10"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        TempFolder local;
        RefusingFileSystem files(platform::RealFileSystem());
        local.Write("x.dll", "running x");
        files.undeletable.insert(local.path() + "x.dll");
        for (const std::string& name : row.existing) local.Write(name, "displaced " + name);
        for (const std::string& name : row.undeletable) files.undeletable.insert(local.path() + name);

        ASSERT_TRUE(FetchPackageFile(http_, files, local.path(), "x.dll"));
        EXPECT_EQ(local.Read("x.dll"), "new x");
        EXPECT_EQ(local.Read(row.expectedName), "running x");
        for (const std::string& name : row.undeletable) {  // copies in use are never touched
            if (name != row.expectedName) {
                EXPECT_EQ(local.Read(name), "displaced " + name);
            }
        }
    }
}

TEST_F(PackageFetchTest, KeepsAFileThatCanNeitherBeDeletedNorMoved) {
    local_.Write("x.dll", "running x");
    files_.undeletable.insert(local_.path() + "x.dll");
    files_.unmovable.insert(local_.path() + "x.dll");
    EXPECT_FALSE(Fetch("x.dll"));
    EXPECT_EQ(local_.Read("x.dll"), "running x");
    EXPECT_FALSE(local_.Exists("x.dll.old"));
}

TEST_F(PackageFetchTest, KeepsTheOldFileWhenTheServerHasNoNewOne) {
    // A failed download used to delete a working file before the request.
    local_.Write("missing.dll", "working");
    EXPECT_FALSE(Fetch("missing.dll"));
    EXPECT_EQ(local_.Read("missing.dll"), "working");
    EXPECT_EQ(server_.RequestCount(), kFetchAttempts);
}

class TwoFailuresFirst : public PackageFetchTest {
protected:
    TwoFailuresFirst() : PackageFetchTest({"--fail-first", "2"}) {}
};

TEST_F(TwoFailuresFirst, SucceedsOnTheThirdRequestWithTheThirdBodyAlone) {
    // The 503 answers carry bodies; were they left in the buffer, decoding
    // would read their bytes as the length field and fail.
    ASSERT_TRUE(Fetch("sub\\deep\\y.dll"));
    EXPECT_EQ(local_.Read("sub\\deep\\y.dll"), "new y");
    EXPECT_EQ(server_.RequestCount(), 3);
}

class ThreeFailuresFirst : public PackageFetchTest {
protected:
    ThreeFailuresFirst() : PackageFetchTest({"--fail-first", "3"}) {}
};

TEST_F(ThreeFailuresFirst, GivesUpAfterThreeRequestsLeavingEverythingAsItWas) {
    local_.Write("x.dll", "old x");
    EXPECT_FALSE(Fetch("x.dll"));
    EXPECT_TRUE(Fetch("sub\\deep\\y.dll"));  // the server answers from its fourth request on
    EXPECT_EQ(local_.Read("x.dll"), "old x");
    EXPECT_EQ(server_.RequestCount(), 3 + 1);
    EXPECT_TRUE(local_.Exists("sub\\deep\\y.dll"));
}

TEST_F(ThreeFailuresFirst, CreatesNoSubFolderWhenEveryRequestFails) {
    EXPECT_FALSE(Fetch("sub\\deep\\y.dll"));
    EXPECT_EQ(server_.RequestCount(), 3);
    EXPECT_FALSE(local_.Exists("sub"));
}

TEST(PackageFileName, RefusesExactlyWhatLeavesTheFolderOrNamesADevice) {
    struct Row {
        std::string name;
        bool accepted;
        const char* why;
    };
    const Row rows[] = {
        {"x.dll", true, "plain name"},
        {"sub\\x.dll", true, "sub-folder"},
        {"a.b\\c..d\\x.dll", true, "dots inside names are ordinary"},
        {"\xC4\xE3\\\xBA\xC3.dll", true, "double-byte names"},
        {"\x81\x5C"
         "x.dll",
         true, "0x5C trail byte is not a separator"},
        {"\x81\x5C..", true, "0x5C trail byte does not start a \"..\" component"},
        // Found by fuzzing: no trail byte is below 0x40, so Windows reads the
        // "/" after a lead byte as a separator, and ".." after it climbs.
        {"a\x91/../../x.dll", false, "a lead byte does not hide the \"/\" after it"},
        {"a\x91/x.dll", true, "...which is a separator like any other"},
        // Windows takes "/" as a separator and collapses doubled separators:
        // each of these names a file inside the folder, and refusing it would
        // fail every synchronisation of a manifest that lists it.
        {"sub/x.dll", true, "forward slash is a separator"},
        {"\\x.dll", true, "a leading separator collapses into the folder's"},
        {"\\\\server\\share\\x.dll", true, "after the folder this is no UNC path"},
        {"sub\\\\x.dll", true, "doubled separator"},
        {"sub\\", true, "a trailing separator names the sub-folder, inside"},
        {".\\x.dll", true, "current-folder component"},
        {"sub\\ \\x.dll", true, "a spaces-only component does not climb"},
        {"", true, "the folder itself: fetched, and the write fails"},
        {"console.dll", true, "only exact device names are devices"},
        {"COM0.dll", true, "COM0 is no device"},
        {"LPT10", true, "LPT10 is no device"},
        {"..\\x.dll", false, "parent component"},
        {"sub\\..\\..\\x.dll", false, "parent component deeper down"},
        {"sub\\..", false, "parent component at the end"},
        {"../x.dll", false, "parent component before a forward slash"},
        {"sub/../../x", false, "forward-slash traversal"},
        {"...\\x.dll", false, "Windows trims the trailing dots of a component: may be \"..\""},
        {".. \\x.dll", false, "and its trailing spaces"},
        {"C:\\x.dll", false, "absolute with drive"},
        {"C:x.dll", false, "drive-relative"},
        {"x.dll:stream", false, "alternate data stream"},
        {"NUL", false, "device"},
        {"sub\\con.txt", false, "device with extension"},
        {"sub/aux", false, "device after a forward slash"},
        {"COM1.dll", false, "numbered device"},
        {"lpt9 .txt", false, "device with trailing spaces before the extension"},
        {"x\x01.dll", false, "control byte"},
        {std::string("x.dll\0.txt", 10), false, "NUL would cut the path short"},
    };
    for (const Row& row : rows) EXPECT_EQ(IsPackageFileName(row.name), row.accepted) << row.why;
}

TEST(PackageFileName, PathsJoinComponentsWithBackslashes) {
    EXPECT_EQ(PackageFilePath("C:\\p\\", "sub/x.dll"), "C:\\p\\sub\\x.dll");
    EXPECT_EQ(PackageFilePath("C:\\p\\", "\\\\sub\\.\\x.dll"), "C:\\p\\sub\\x.dll");
    EXPECT_EQ(PackageFilePath("C:\\p\\", ""), "C:\\p\\");
    EXPECT_EQ(PackageFilePath("C:\\p\\", "\xC4\x5C\\b"), "C:\\p\\\xC4\x5C\\b");  // the trail byte stays
    EXPECT_EQ(PackageFilePath("C:\\p\\", "\xC4/b"), "C:\\p\\\xC4\\b");           // "/" is no trail byte
}

TEST_F(PackageFetchTest, FetchesNamesWithForwardAndDoubledSeparatorsIntoTheirPlace) {
    for (const char* name : {"sub/deep/y.dll", "\\sub\\\\deep\\y.dll", "sub\\.\\deep/y.dll"}) {
        SCOPED_TRACE(name);
        TempFolder local;
        ASSERT_TRUE(FetchPackageFile(http_, files_, local.path(), name));
        EXPECT_EQ(local.Read("sub\\deep\\y.dll"), "new y");
    }
}

TEST_F(PackageFetchTest, NeverRequestsOrWritesATraversalName) {
    // The package folder is a sub-folder so that an escape would be visible beside it.
    TempFolder outer;
    const std::string package = outer.path() + "pkg\\";
    ASSERT_TRUE(files_.CreateFolderChain(package));
    server_.WritePackageFile("evil.txt", "evil");
    for (const std::string& name :
         std::vector<std::string>{"..\\evil.txt", "pkg\\..\\..\\evil.txt", "pkg/../../evil.txt", "C:evil.txt"}) {
        EXPECT_FALSE(FetchPackageFile(http_, files_, package, name)) << name;
    }
    EXPECT_EQ(server_.RequestCount(), 0);
    EXPECT_FALSE(outer.Exists("evil.txt"));
    EXPECT_TRUE(files_.ListFolder(package).empty());
}

}  // namespace
}  // namespace klv
