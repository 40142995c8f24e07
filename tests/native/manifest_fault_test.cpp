// Manifests of hostile size against the real update server and real folders:
// 100,000 lines, and lines of 1 MiB (as a name, a version and a line without
// "="). Each must end, with the outcome the ordinary rules give, and without
// costing more than linear work in the size of the manifest.
#include <gtest/gtest.h>

#include "platform/error.h"
#include "platform/file_system.h"
#include "http/http_client.h"
#include "sync/package_fetch.h"
#include "sync/package_sync.h"
#include "protocol/update_request.h"
#include "support/recording_sync_view.h"
#include "support/temp_folder.h"
#include "support/update_server_fixture.h"

namespace klv {
namespace {

using test::RecordingSyncView;
using test::TempFolder;
using test::UpdateServerFixture;

constexpr std::size_t kMiB = std::size_t{1} << 20;

// Keeps only what the assertions need: a recording of 100,000 lines' worth
// of events would measure the recorder, not the synchronisation.
class TallyingSyncView : public SyncView {
public:
    void SetProgressVisible(SyncProgressBar, bool visible) override { visible_ = visible; }
    void SetProgressPosition(SyncProgressBar, int position) override {
        if (position < lastPosition) ++positionsBackwards;
        lastPosition = position;
        ++positions;
    }
    void SetProgressText(SyncProgressBar, const std::string& text) override { lastText = text; }
    void SetProgressTooltip(SyncProgressBar, const std::string& text) override { lastTooltip = text; }
    void SetActionsEnabled(bool enabled) override { actionsEnabled = enabled; }
    void ProcessMessages() override {}
    void ShowWarningBox(const std::string&, const std::string&) override { ++boxes; }

    int positions = 0;
    int positionsBackwards = 0;
    int lastPosition = 0;
    int boxes = 0;
    bool actionsEnabled = true;
    std::string lastText;
    std::string lastTooltip;

private:
    bool visible_ = false;
};

class ManifestFaultTest : public ::testing::Test {
protected:
    ManifestFaultTest() { SetServerBaseUrl(server_.BaseUrl()); }

    UpdateServerFixture server_;
    TempFolder local_;
    HttpClient http_;
};

TEST_F(ManifestFaultTest, AHundredThousandLinesAreWalkedOnceEach) {
    // 99,999 lines of a file that is up to date, then one that is new: the
    // previous manifest is looked up once per line, not searched.
    std::string manifest;
    for (int i = 0; i < 99999; ++i) manifest += "a.dll=1.0.0.1\r\n";
    manifest += "b.dll=1\r\n";
    server_.WritePackageFile("files.txt", manifest);
    server_.WritePackageFile("b.dll", "new b");
    local_.Write("files.txt", "a.dll=1.0.0.1\r\n");
    local_.Write("a.dll", "a");
    TallyingSyncView view;
    PackageSynchroniser sync(http_, platform::RealFileSystem(), view);

    ASSERT_TRUE(sync.SyncPackage(local_.path(), SyncProgressBar::Download));
    EXPECT_EQ(server_.RequestCount(), 2);  // the manifest and b.dll
    EXPECT_EQ(local_.Read("b.dll"), "new b");
    EXPECT_EQ(view.positions, 1 + 100000);
    EXPECT_EQ(view.positionsBackwards, 0);
    EXPECT_EQ(view.lastPosition, 99);
    EXPECT_EQ(view.lastText.substr(0, 15), "(99999/100000) ");
    EXPECT_EQ(local_.Read("files.txt"), manifest);
    EXPECT_FALSE(local_.Exists("files_o.txt"));
}

TEST_F(ManifestFaultTest, AOneMebibyteLineEndsByTheOrdinaryRules) {
    const std::string longName(kMiB, 'n');
    std::string longVersion;
    while (longVersion.size() < kMiB) longVersion += "1.";
    longVersion += "2";
    struct Row {
        std::string line;
        bool result;
        long long requestsAfterManifest;
        const char* why;
    };
    const Row rows[] = {
        // 2 MiB of request text: refused by the server (its head limit), so
        // three failed attempts, and the run fails.
        {longName + "=1", false, kFetchAttempts, "a name of 1 MiB"},
        // Half a million components compared pairwise: the last one decides.
        {"a.dll=" + longVersion, true, 1, "a version of 1 MiB"},
        // The empty name: fetched, refused by the server, the run fails.
        {longName, false, kFetchAttempts, "a line of 1 MiB without \"=\""},
    };
    server_.WritePackageFile("a.dll", "new a");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        TempFolder local;
        const std::string previous = "a.dll=" + longVersion.substr(0, longVersion.size() - 1) + "1\r\n";
        local.Write("files.txt", previous);
        local.Write("a.dll", "old a");
        server_.WritePackageFile("files.txt", row.line + "\r\n");
        const long long before = server_.RequestCount();
        RecordingSyncView view;
        PackageSynchroniser sync(http_, platform::RealFileSystem(), view);

        EXPECT_EQ(sync.SyncPackage(local.path(), SyncProgressBar::Download), row.result);
        EXPECT_EQ(server_.RequestCount() - before, 1 + row.requestsAfterManifest);
        EXPECT_EQ(local.Read("files.txt"), row.result ? row.line + "\r\n" : previous);
        EXPECT_FALSE(local.Exists("files_o.txt"));
        EXPECT_EQ(view.Last("actions"), "1");
    }
}

}  // namespace
}  // namespace klv
