// SyncPackage against the real update server on loopback, into real
// temporary folders, with a recording view standing for the main window.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/error.h"
#include "http/http_client.h"
#include "package/manifest.h"
#include "package/name_rule.h"
#include "sync/package_fetch.h"
#include "sync/package_sync.h"
#include "protocol/update_request.h"
#include "support/recording_sync_view.h"
#include "support/refusing_file_system.h"
#include "support/temp_folder.h"
#include "support/update_server_fixture.h"

namespace klv {
namespace {

using test::RecordingSyncView;
using test::TempFolder;
using test::UpdateServerFixture;

class PackageSyncTest : public ::testing::Test {
protected:
    PackageSyncTest() { SetServerBaseUrl(server_.BaseUrl()); }

    // Puts `name` on the server with content "new <name>".
    void Serve(const std::string& name) { server_.WritePackageFile(name, "new " + name); }
    void ServeManifest(const std::string& text) { server_.WritePackageFile("files.txt", text); }
    bool Sync(SyncProgressBar bar = SyncProgressBar::Download) { return sync_.SyncPackage(local_.path(), bar); }
    bool WasFetched(const std::string& name) const { return local_.Exists(name) && local_.Read(name) == "new " + name; }
    // The folder's manifests are exactly as after a failed run.
    void ExpectPreviousManifestBack(const std::string& previous) const {
        EXPECT_EQ(local_.Read("files.txt"), previous);
        EXPECT_FALSE(local_.Exists("files_o.txt"));
    }
    // The window is usable again: bar hidden, buttons and links enabled last.
    void ExpectWindowRestored() const {
        ASSERT_FALSE(view_.events.empty());
        EXPECT_EQ(view_.Last("visible"), "0");
        EXPECT_EQ(view_.Last("actions"), "1");
        EXPECT_EQ(view_.Texts("actions"), (std::vector<std::string>{"0", "1"}));
    }

    UpdateServerFixture server_;
    TempFolder local_;
    HttpClient http_;
    RecordingSyncView view_;
    PackageSynchroniser sync_{http_, platform::RealFileSystem(), view_};
};

TEST_F(PackageSyncTest, WithoutAPreviousManifestFetchesEveryListedFile) {
    const std::string manifest = "a.dll=1.0.0.1\r\nsub\\b.dll=1.0.0.1\r\n";
    ServeManifest(manifest);
    Serve("a.dll");
    Serve("sub\\b.dll");
    local_.Write("a.dll", "present but unknown");  // no manifest vouches for it

    ASSERT_TRUE(Sync());
    EXPECT_TRUE(WasFetched("a.dll"));
    EXPECT_TRUE(WasFetched("sub\\b.dll"));
    EXPECT_EQ(local_.Read("files.txt"), manifest);
    EXPECT_FALSE(local_.Exists("files_o.txt"));
    EXPECT_EQ(server_.RequestCount(), 3);
    ExpectWindowRestored();
}

TEST_F(PackageSyncTest, FetchesExactlyTheFilesThatAreMissingOrNewer) {
    struct Row {
        const char* name;
        const char* oldVersion;  // nullptr: not in the old manifest
        const char* newVersion;
        bool present;
        bool fetched;
        const char* why;
    };
    const Row rows[] = {
        {"same.dll", "1.0.0.1", "1.0.0.1", true, false, "same version: up to date"},
        {"newer.dll", "1.0.0.1", "1.0.0.2", true, true, "newer version"},
        {"older.dll", "1.0.0.2", "1.0.0.1", true, false, "older version on the server"},
        {"third.dll", "1.2.0.0", "1.1.5.0", true, true, "a greater later component counts as newer"},
        {"unlisted.dll", nullptr, "1.0.0.1", true, true, "present but not in the old manifest"},
        {"absent.dll", "9.0.0.0", "1.0.0.1", false, true, "absent whatever the versions say"},
        {"Case.DLL", "1.0.0.1", "1.0.0.1", true, false, "look-up ignores letter case (old lists case.dll)"},
        {"twice.dll", "1.0.0.1", "1.0.0.1", true, false, "first old line counts (a second says 0.0.0.1)"},
        {"sub\\deep.dll", "1.0.0.1", "1.0.0.1", true, false, "sub-folder names are looked up whole"},
    };
    std::string oldManifest, newManifest;
    for (const Row& row : rows) {
        const std::string name = row.name;
        if (row.oldVersion) {
            const std::string oldName = name == "Case.DLL" ? "case.dll" : name;
            oldManifest += oldName + "=" + row.oldVersion + "\r\n";
            if (name == "twice.dll") oldManifest += name + "=0.0.0.1\r\n";
        }
        newManifest += name + "=" + row.newVersion + "\r\n";
        Serve(name);
        if (row.present) local_.Write(name, "old " + name);
    }
    local_.Write("files.txt", oldManifest);
    ServeManifest(newManifest);

    ASSERT_TRUE(Sync());
    int fetched = 0;
    for (const Row& row : rows) {
        EXPECT_EQ(WasFetched(row.name), row.fetched) << row.why;
        fetched += row.fetched ? 1 : 0;
    }
    EXPECT_EQ(server_.RequestCount(), 1 + fetched);  // nothing up to date is even requested
    EXPECT_EQ(local_.Read("files.txt"), newManifest);
    EXPECT_FALSE(local_.Exists("files_o.txt"));
}

TEST_F(PackageSyncTest, StopsAtTheFirstFileThatCannotBeFetchedAndRestoresTheManifest) {
    const std::string previous = "a.dll=1\r\nb.dll=1\r\nc.dll=1\r\nd.dll=1\r\ne.dll=1\r\n";
    local_.Write("files.txt", previous);
    for (const char* name : {"a.dll", "b.dll", "c.dll", "d.dll", "e.dll"})
        local_.Write(name, std::string("old ") + name);
    ServeManifest("a.dll=2\r\nb.dll=2\r\nc.dll=2\r\nd.dll=2\r\ne.dll=2\r\n");
    for (const char* name : {"a.dll", "b.dll", "d.dll", "e.dll"}) Serve(name);  // c.dll is gone from the server

    EXPECT_FALSE(Sync());
    EXPECT_TRUE(WasFetched("a.dll"));
    EXPECT_TRUE(WasFetched("b.dll"));
    EXPECT_EQ(local_.Read("c.dll"), "old c.dll");  // kept: its replacement never arrived
    EXPECT_EQ(local_.Read("d.dll"), "old d.dll");
    EXPECT_EQ(local_.Read("e.dll"), "old e.dll");
    EXPECT_EQ(server_.RequestCount(), 1 + 2 + 3);  // manifest, a, b, three tries of c; d and e never
    ExpectPreviousManifestBack(previous);
    EXPECT_TRUE(view_.Texts("box").empty());  // only the manifest's failure has a box here
    EXPECT_EQ(view_.Positions().back(), 40);
    ExpectWindowRestored();
}

TEST_F(PackageSyncTest, ShowsTheBoxAndRestoresTheManifestWhenTheManifestCannotBeFetched) {
    const std::string previous = "a.dll=1.0\r\n";
    local_.Write("files.txt", previous);
    local_.Write("a.dll", "old");
    // The server folder has no files.txt.

    EXPECT_FALSE(Sync());
    EXPECT_EQ(view_.Texts("box"), (std::vector<std::string>{"下载文件失败，请检测网络或稍后再试。"}));
    EXPECT_EQ(view_.boxCaptions, (std::vector<std::string>{"提示"}));
    ExpectPreviousManifestBack(previous);
    EXPECT_EQ(local_.Read("a.dll"), "old");
    EXPECT_EQ(server_.RequestCount(), 3);
    // The box comes while the buttons are still disabled, before the bar goes.
    std::vector<std::string> order;
    for (const auto& e : view_.events)
        if (e.kind == "box" || e.kind == "actions" || e.kind == "visible")
            order.push_back(e.kind + e.text.substr(0, 1));
    EXPECT_EQ(order, (std::vector<std::string>{"visible1", "actions0", "box\xE4", "visible0", "actions1"}));
}

TEST_F(PackageSyncTest, ManifestFailureWithoutAPreviousManifestLeavesNone) {
    EXPECT_FALSE(Sync());
    EXPECT_FALSE(local_.Exists("files.txt"));
    EXPECT_FALSE(local_.Exists("files_o.txt"));
}

TEST_F(PackageSyncTest, ShowsWhichFileOfHowManyOnTheBar) {
    struct Row {
        std::vector<std::string> names;
        std::vector<int> positions;
    };
    const Row rows[] = {
        // Division before multiplication in whole numbers: 1/3 is 33, 2/3 is 66.
        {{"a.dll", "b.dll", "c.dll"}, {0, 33, 66}},
        {{"a.dll", "sub\\b.dll", "\xC4\xE3\xBA\xC3.dll", "d.dll"}, {0, 25, 50, 75}},
    };
    for (const Row& row : rows) {
        TempFolder local;
        RecordingSyncView view;
        HttpClient http;
        PackageSynchroniser sync(http, platform::RealFileSystem(), view);
        std::string manifest;
        for (const std::string& name : row.names) {
            manifest += name + "=1.0\r\n";
            Serve(name);
        }
        ServeManifest(manifest);
        const std::size_t n = row.names.size();

        ASSERT_TRUE(sync.SyncPackage(local.path(), SyncProgressBar::Backup));
        // Position 0 comes first of all (step one), then once per line.
        std::vector<int> expected{0};
        expected.insert(expected.end(), row.positions.begin(), row.positions.end());
        EXPECT_EQ(view.Positions(), expected);
        std::vector<std::string> tooltips;
        for (const std::string& name : row.names)
            tooltips.push_back("正在下载：" + (name == "\xC4\xE3\xBA\xC3.dll" ? std::string("你好.dll") : name));
        EXPECT_EQ(view.Texts("tooltip"), tooltips);
        // Each line starts its text at "(i/n) 00%", and its download ends at 100%.
        const auto texts = view.Texts("text");
        for (std::size_t i = 0; i < n; ++i) {
            const std::string prefix = "(" + std::to_string(i) + "/" + std::to_string(n) + ")";
            const auto start = std::find(texts.begin(), texts.end(), prefix + " 00%");
            ASSERT_NE(start, texts.end()) << prefix;
            EXPECT_NE(std::find(start, texts.end(), prefix + " 100%"), texts.end()) << prefix;
        }
        for (const auto& e : view.events) {
            if (e.kind == "position" || e.kind == "text" || e.kind == "visible") {
                EXPECT_EQ(e.bar, SyncProgressBar::Backup);
            }
        }
        EXPECT_TRUE(local.Exists("\xC4\xE3\xBA\xC3.dll") || n == 3);
    }
}

TEST_F(PackageSyncTest, LetsTheWindowRunBeforeTheWorkAndOncePerLine) {
    ServeManifest("a.dll=1\r\nb.dll=1\r\n");
    local_.Write("a.dll", "a");
    local_.Write("b.dll", "b");
    local_.Write("files.txt", "a.dll=1\r\nb.dll=1\r\n");  // both up to date: no work events
    ASSERT_TRUE(Sync());
    std::vector<std::string> kinds;
    for (const auto& e : view_.events)
        if (e.kind != "text") kinds.push_back(e.kind);
    // The manifest's own download adds work-event pumps between the first
    // pump and the first line; they are what the "pump" count below allows.
    ASSERT_GE(kinds.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(kinds.begin(), kinds.begin() + 4),
              (std::vector<std::string>{"position", "visible", "actions", "pump"}));
    const auto firstLine = std::find(kinds.begin(), kinds.end(), "tooltip");
    EXPECT_EQ(std::vector<std::string>(firstLine, kinds.end()),
              (std::vector<std::string>{"tooltip", "pump", "position", "tooltip", "pump", "visible", "actions"}));
}

TEST_F(PackageSyncTest, WorkEventsShowTheTransferPercentageAfterThePrefix) {
    ServeManifest("a.dll=1\r\nb.dll=1\r\nc.dll=1\r\nd.dll=1\r\n");
    for (const char* name : {"a.dll", "b.dll", "c.dll", "d.dll"}) Serve(name);
    std::vector<std::string> seen;
    // Drive the handlers from inside the window's message loop while the
    // second of four files is current, as the transport would.
    view_.onPump = [&] {
        if (view_.Last("text") != "(1/4) 00%" || !seen.empty()) return;
        sync_.IdHTTPWorkBegin(http_, WorkMode::Read, 1000);
        for (std::int32_t count : {50, 500, 1000}) {
            sync_.IdHTTPWork(http_, WorkMode::Read, count);
            seen.push_back(view_.Last("text"));
        }
    };
    ASSERT_TRUE(Sync());
    EXPECT_EQ(seen, (std::vector<std::string>{"(1/4) 05%", "(1/4) 50%", "(1/4) 100%"}));
}

TEST_F(PackageSyncTest, KeepsTheProgressPrefixBetweenSynchronisations) {
    ServeManifest("a.dll=1\r\nb.dll=1\r\n");
    Serve("a.dll");
    Serve("b.dll");
    ASSERT_TRUE(Sync());
    // The first manifest download has no prefix yet: its text starts with the space.
    EXPECT_EQ(view_.Texts("text").front().substr(0, 1), " ");
    view_.events.clear();
    ASSERT_TRUE(Sync());
    EXPECT_EQ(view_.Texts("text").front().substr(0, 6), "(1/2) ");
}

TEST(TransferProgress, FormatsPercentagesAndUnknownSizes) {
    struct Row {
        std::int32_t count, size;
        const char* text;
        const char* why;
    };
    const Row rows[] = {
        {0, 1000, "00%", "two digits from the start"},
        {50, 1000, "05%", "one digit gets a leading zero"},
        {999, 1000, "99%", "fractions are cut off, not rounded"},
        {1000, 1000, "100%", "three digits are not cut"},
        {29, 100, "29%", "whole-number arithmetic (0.29 * 100 is 28.99... in floating point)"},
        {2000000000, 2100000000, "95%", "count * 100 must not overflow 32 bits"},
        {0, 0, "0KB", "unknown size: no division by zero"},
        {5000, 0, "4KB", "unknown size: kilobytes received so far"},
        {-5, 0, "0KB", "a negative count is not shown as negative"},
    };
    for (const Row& row : rows) EXPECT_EQ(TransferProgress(row.count, row.size), row.text) << row.why;
    EXPECT_EQ(ProgressPosition(29, 100), 29);
    EXPECT_EQ(ProgressPosition(2, 3), 66);
    EXPECT_EQ(ProgressPrefix(0, 4), "(0/4)");
}

TEST(ParseManifest, ReadsEveryLineEndAndBlankLines) {
    const auto entries = ParseManifest("a=1\r\n\r\nb=2\nc=3\rd\\e.dll=4=5\nno-equals\n");
    ASSERT_EQ(entries.size(), 6u);  // a final line end starts no further line
    EXPECT_EQ(entries[0].name, "a");
    EXPECT_EQ(entries[1].name, "");  // the blank line
    EXPECT_EQ(entries[2].version, "2");
    EXPECT_EQ(entries[3].name, "c");
    EXPECT_EQ(entries[4].name, "d\\e.dll");
    EXPECT_EQ(entries[4].version, "4=5");  // everything after the first "="
    EXPECT_EQ(entries[5].name, "");
    EXPECT_TRUE(ParseManifest("").empty());
    EXPECT_EQ(ParseManifest("\r\n").size(), 1u);
}

TEST_F(PackageSyncTest, ALineWithoutANameIsFetchedAndFailsTheRun) {
    // A blank line and a line without "=" have the empty name: the package
    // is not complete by such a manifest, so the synchronisation must not
    // call it up to date. They used to be skipped, and the run succeeded.
    struct Row {
        const char* nameless;
        const char* why;
    };
    const Row rows[] = {
        {"", "a blank line"},
        {"b.dll", "a line without \"=\""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        TempFolder local;
        RecordingSyncView view;
        HttpClient http;
        PackageSynchroniser sync(http, platform::RealFileSystem(), view);
        const std::string previous = "a.dll=1\r\n";
        local.Write("files.txt", previous);
        ServeManifest("a.dll=2\r\n" + std::string(row.nameless) + "\r\nc.dll=1\r\n");
        Serve("a.dll");
        Serve("b.dll");
        Serve("c.dll");
        const long long before = server_.RequestCount();

        EXPECT_FALSE(sync.SyncPackage(local.path(), SyncProgressBar::Download));
        EXPECT_EQ(local.Read("a.dll"), "new a.dll");
        EXPECT_FALSE(local.Exists("c.dll"));  // the run ended at the nameless line
        EXPECT_EQ(server_.RequestCount() - before, 1 + 1 + kFetchAttempts);
        EXPECT_EQ(view.Positions(), (std::vector<int>{0, 0, 33}));
        EXPECT_EQ(local.Read("files.txt"), previous);
        EXPECT_FALSE(local.Exists("files_o.txt"));
        EXPECT_TRUE(view.Texts("box").empty());
    }
}

TEST_F(PackageSyncTest, EveryLineEndCountsAsOne) {
    const std::string manifest = "a.dll=1\r\nb.dll=1\nc.dll=1\rd.dll=1";
    ServeManifest(manifest);
    for (const char* name : {"a.dll", "b.dll", "c.dll", "d.dll"}) Serve(name);
    ASSERT_TRUE(Sync());
    for (const char* name : {"a.dll", "b.dll", "c.dll", "d.dll"}) EXPECT_TRUE(WasFetched(name)) << name;
    EXPECT_EQ(view_.Positions(), (std::vector<int>{0, 0, 25, 50, 75}));
    EXPECT_EQ(server_.RequestCount(), 5);
}

TEST_F(PackageSyncTest, ATraversalNameFailsTheRunWithoutWritingOutsideTheFolder) {
    TempFolder outer;
    const std::string package = outer.path() + "pkg\\";
    outer.Write("pkg\\files.txt", "a.dll=1\r\n");
    server_.WritePackageFile("evil.txt", "evil");
    ServeManifest("a.dll=2\r\n..\\evil.txt=1\r\nb.dll=1\r\n");
    Serve("a.dll");
    Serve("b.dll");

    EXPECT_FALSE(sync_.SyncPackage(package, SyncProgressBar::Download));
    EXPECT_FALSE(outer.Exists("evil.txt"));
    EXPECT_FALSE(outer.Exists("pkg\\b.dll"));  // the run stopped at the bad name
    EXPECT_EQ(outer.Read("pkg\\files.txt"), "a.dll=1\r\n");
    EXPECT_FALSE(outer.Exists("pkg\\files_o.txt"));
    EXPECT_EQ(server_.RequestCount(), 2);  // manifest and a.dll; never the bad name
}

TEST_F(PackageSyncTest, ARaisedFailureReenablesTheWindowAndRestoresTheManifest) {
    const std::string previous = "a.dll=1.0\r\n";
    local_.Write("files.txt", previous);
    local_.Write("a.dll", "old");
    ServeManifest("a.dll=1.x\r\n");  // not a version: the comparison raises
    EXPECT_THROW(Sync(), EConvertError);
    ExpectWindowRestored();
    ExpectPreviousManifestBack(previous);
    EXPECT_EQ(local_.Read("a.dll"), "old");
}

TEST_F(PackageSyncTest, AReadOnlyManifestIsCommittedSoTheNextRunFetchesNothing) {
    // The read-only attribute survives the rename to files_o.txt, and a
    // commit that cannot delete files_o.txt left it behind: every later run
    // took it for the previous manifest and fetched up-to-date files again.
    local_.Write("files.txt", "a.dll=1\r\n");
    local_.Write("a.dll", "old a.dll");
    ASSERT_TRUE(platform::RealFileSystem().SetReadOnly(local_.path() + "files.txt", true));
    ServeManifest("a.dll=2\r\n");
    Serve("a.dll");
    ASSERT_TRUE(Sync());
    EXPECT_TRUE(WasFetched("a.dll"));
    EXPECT_FALSE(local_.Exists("files_o.txt"));
    EXPECT_EQ(server_.RequestCount(), 2);
    ASSERT_TRUE(Sync());
    EXPECT_EQ(server_.RequestCount(), 3);  // the manifest alone: a.dll is up to date
    EXPECT_FALSE(local_.Exists("files_o.txt"));
}

TEST_F(PackageSyncTest, AReadOnlyManifestIsRestoredOnFailureAndCommittedLater) {
    const std::string previous = "a.dll=1\r\n";
    local_.Write("files.txt", previous);
    ASSERT_TRUE(platform::RealFileSystem().SetReadOnly(local_.path() + "files.txt", true));
    ServeManifest("a.dll=2\r\nb.dll=1\r\n");
    Serve("a.dll");  // b.dll is missing: the run fails
    EXPECT_FALSE(Sync());
    ExpectPreviousManifestBack(previous);
    Serve("b.dll");
    ASSERT_TRUE(Sync());
    EXPECT_EQ(local_.Read("files.txt"), "a.dll=2\r\nb.dll=1\r\n");
    EXPECT_FALSE(local_.Exists("files_o.txt"));
}

TEST_F(PackageSyncTest, AReadOnlyManifestOfAnInterruptedRunIsDroppedWithoutADisplacedCopy) {
    // The unfinished run's files.txt is read-only; it used to be displaced to
    // files.txt.old instead of deleted, a copy that no run ever removes.
    local_.Write("files_o.txt", "a.dll=1\r\n");
    local_.Write("files.txt", "a.dll=2\r\n");
    ASSERT_TRUE(platform::RealFileSystem().SetReadOnly(local_.path() + "files.txt", true));
    local_.Write("a.dll", "old a.dll");
    ServeManifest("a.dll=2\r\n");
    Serve("a.dll");
    ASSERT_TRUE(Sync());
    EXPECT_TRUE(WasFetched("a.dll"));
    EXPECT_EQ(local_.Read("files.txt"), "a.dll=2\r\n");
    EXPECT_FALSE(local_.Exists("files_o.txt"));
    EXPECT_FALSE(local_.Exists("files.txt.old"));
}

TEST_F(PackageSyncTest, APreviousManifestThatCouldNotBeMovedAsideSurvivesAFailedRun) {
    // files.txt that cannot be renamed to files_o.txt stays the previous
    // manifest; a failed run used to delete it as if it were the new one.
    const std::string previous = "a.dll=1\r\n";
    local_.Write("files.txt", previous);
    test::RefusingFileSystem files(platform::RealFileSystem());
    files.unmovable.insert(local_.path() + "files.txt");
    PackageSynchroniser sync(http_, files, view_);
    // The server has no manifest: the run fails at its first download.
    EXPECT_FALSE(sync.SyncPackage(local_.path(), SyncProgressBar::Download));
    ExpectPreviousManifestBack(previous);
}

TEST_F(PackageSyncTest, AnInterruptedRunIsRepeatedFromTheLastCompleteManifest) {
    // A run was cut short after files.txt had been replaced: files_o.txt is
    // the manifest that a.dll's content belongs to.
    local_.Write("files_o.txt", "a.dll=1.0.0.2\r\n");
    local_.Write("files.txt", "a.dll=1.0.0.3\r\n");
    local_.Write("a.dll", "old a.dll");
    ServeManifest("a.dll=1.0.0.3\r\n");
    Serve("a.dll");
    ASSERT_TRUE(Sync());
    EXPECT_TRUE(WasFetched("a.dll"));
    EXPECT_EQ(local_.Read("files.txt"), "a.dll=1.0.0.3\r\n");
    EXPECT_FALSE(local_.Exists("files_o.txt"));
}

}  // namespace
}  // namespace klv
