// A crash (power lost, the launcher killed) at any step of bringing a package
// folder up to date, from the real update server or from the stick: the run
// stops dead at its n-th file operation, for every n the uninterrupted run
// has, and the next run, uninterrupted, must end exactly where an
// uninterrupted run ends. In between, a folder that says it is complete must
// really hold one whole package, old or new: the launcher starts a complete
// folder's installer as it is and never brings it up to date again.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>

#include "install/folder_tree.h"
#include "package/completeness.h"
#include "platform/file_system.h"
#include "http/http_client.h"
#include "sync/package_sync.h"
#include "protocol/update_request.h"
#include "support/dying_file_system.h"
#include "support/recording_copy_view.h"
#include "support/recording_sync_view.h"
#include "support/temp_folder.h"
#include "support/update_server_fixture.h"

namespace klv {
namespace {

using platform::RealFileSystem;
using test::Crashed;
using test::DyingFileSystem;
using test::TempFolder;

// Every entry below a folder, by relative path: folders as "<folder>", files
// as their content, with " <read-only>" after a file that is read-only.
using Tree = std::map<std::string, std::string>;

Tree TreeOf(const std::string& native) {
    Tree tree;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(native)) {
        const std::string name = std::filesystem::relative(entry.path(), native).string();
        if (entry.is_directory()) {
            tree[name] = "<folder>";
            continue;
        }
        std::ifstream in(entry.path(), std::ios::binary);
        std::ostringstream content;
        content << in.rdbuf();
        struct stat st {};
        const bool readOnly = ::stat(entry.path().c_str(), &st) == 0 && (st.st_mode & S_IWUSR) == 0;
        tree[name] = content.str() + (readOnly ? " <read-only>" : "");
    }
    return tree;
}

// The package in two versions: a.dll and lib\c.dll change, sub\b.dll stays,
// sub\new.dll comes and so does res\d.dll, in a folder of its own;
// gone.dll is no longer listed. A file that comes is listed first, so that
// for a while the folder holds every listed file with some still old.
const Tree kOldPackage = {
    {"files.txt", "a.dll=1.0.0.1\r\nsub\\b.dll=1.0.0.1\r\nlib\\c.dll=1.0.0.1\r\ngone.dll=1.0.0.1\r\n"},
    {"a.dll", "old a"},
    {"sub\\b.dll", "same b"},
    {"lib\\c.dll", "old c"},
    {"gone.dll", "old gone"},
};
const Tree kNewPackage = {
    {"files.txt",
     "sub\\new.dll=1.0.0.1\r\nsub\\b.dll=1.0.0.1\r\na.dll=1.0.0.2\r\nlib\\c.dll=1.0.0.2\r\n"
     "res\\d.dll=1.0.0.1\r\n"},
    // Larger than the download's output window, so that it reaches the disk
    // in more than one write.
    {"a.dll", std::string(300 * 1024, 'a')},
    {"sub\\b.dll", "same b"},
    {"sub\\new.dll", "new file"},
    {"lib\\c.dll", "new c"},
    {"res\\d.dll", "new folder"},
};

// A folder holding a package folder "pkg" and, beside it, a file and a
// folder that no run may touch.
struct Setting {
    explicit Setting(const Tree& package, const Tree& stick = {}) {
        for (const auto& [name, content] : package) root.Write("pkg\\" + name, content);
        for (const auto& [name, content] : stick) root.Write("stick\\" + name, content);
        root.Write("sibling.txt", "beside the package");
        root.Write("beside\\note.txt", "a folder beside it");
    }
    std::string Package() const { return root.path() + "pkg\\"; }
    std::string PackageNative() const { return root.native() + "pkg/"; }
    std::string Stick() const { return root.path() + "stick\\"; }

    TempFolder root;
};

std::string Native(const std::string& name) {
    std::string out = name;
    for (char& c : out)
        if (c == '\\') c = '/';
    return out;
}

// What every run that ends must leave in the package folder: the new
// package byte for byte, complete, nothing of the run's own left over.
void ExpectUpToDate(const Setting& s, const Tree& package) {
    EXPECT_TRUE(IsPackageComplete(RealFileSystem(), s.Package()));
    const Tree tree = TreeOf(s.PackageNative());
    for (const auto& [name, content] : package) {
        const auto it = tree.find(Native(name));
        EXPECT_TRUE(it != tree.end() && it->second == content) << name;
    }
    for (const auto& [name, content] : tree) {
        EXPECT_EQ(name.find(".klv-partial"), std::string::npos) << name;
        EXPECT_EQ(name.find(".old"), std::string::npos) << name;
        EXPECT_NE(name, kPreviousManifestName);
        EXPECT_EQ(content.find("<read-only>"), std::string::npos) << name;
    }
    EXPECT_EQ(s.root.Read("sibling.txt"), "beside the package");
    EXPECT_EQ(s.root.Read("beside\\note.txt"), "a folder beside it");
}

// Runs `run` with a layer dying at every operation in turn, then once more
// uninterrupted. `run` gets the file layer and returns nothing; `fresh`
// makes the setting it starts from.
template <typename Fresh, typename Run>
void CrashAtEveryStep(Fresh fresh, Run run, const Tree& newPackage, long long& points) {
    // The uninterrupted run: how many operations there are, and where it ends.
    Tree reference;
    Tree newState;
    {
        auto s = fresh();
        DyingFileSystem counting(RealFileSystem(), 0);
        run(*s, counting);
        points = counting.Operations();
        ASSERT_FALSE(counting.Dead());
        ExpectUpToDate(*s, newPackage);
        reference = TreeOf(s->root.native());
        newState = TreeOf(s->PackageNative());
    }
    ASSERT_GT(points, 10);
    const Tree oldPackage = TreeOf(fresh()->PackageNative());
    for (long long n = 1; n <= points; ++n) {
        auto s = fresh();
        DyingFileSystem dying(RealFileSystem(), n);
        bool crashed = false;
        try {
            run(*s, dying);
        } catch (const Crashed&) {
            crashed = true;
        }
        SCOPED_TRACE("crash at " + std::to_string(n) + " of " + std::to_string(points) + ": " + dying.LastOperation());
        // Nothing of the run may catch the crash and go on.
        ASSERT_TRUE(crashed);
        EXPECT_EQ(dying.Raises(), 1) << "the crash was caught, and the run went on to the disk";
        if (IsPackageComplete(RealFileSystem(), s->Package())) {
            const Tree now = TreeOf(s->PackageNative());
            EXPECT_TRUE(now == oldPackage || now == newState)
                << "complete, but neither the old package nor the new one";
        }
        DyingFileSystem again(RealFileSystem(), 0);
        run(*s, again);
        ExpectUpToDate(*s, newPackage);
        EXPECT_EQ(TreeOf(s->root.native()), reference);
    }
}

class CrashTable : public ::testing::Test {
protected:
    CrashTable() {
        for (const auto& [name, content] : kNewPackage) server_.WritePackageFile(name, content);
        SetServerBaseUrl(server_.BaseUrl());
    }
    test::UpdateServerFixture server_;
};

TEST_F(CrashTable, SynchronisationSurvivesACrashAtEveryStep) {
    long long points = 0;
    CrashAtEveryStep([] { return std::make_unique<Setting>(kOldPackage); },
                     [](Setting& s, platform::FileSystem& files) {
                         // A crash ends the process: every run has a client
                         // and a window of its own.
                         HttpClient http;
                         test::RecordingSyncView view;
                         PackageSynchroniser sync(http, files, view);
                         EXPECT_TRUE(sync.SyncPackage(s.Package(), SyncProgressBar::Download));
                     },
                     kNewPackage, points);
    std::printf("synchronisation: %lld crash points\n", points);
}

TEST_F(CrashTable, FolderCopySurvivesACrashAtEveryStep) {
    // The stick's copy of the new package, one file of it read-only (the
    // copy must not leave it so).
    long long points = 0;
    CrashAtEveryStep(
        [] {
            auto s = std::make_unique<Setting>(kOldPackage, kNewPackage);
            EXPECT_TRUE(RealFileSystem().SetReadOnly(s->Stick() + "sub\\new.dll", true));
            return s;
        },
        [](Setting& s, platform::FileSystem& files) {
            test::RecordingCopyView view;
            EXPECT_TRUE(CopyFolderTree(files, view, s.Stick(), s.Package()));
            EXPECT_TRUE(view.boxes.empty());
        },
        kNewPackage, points);
    std::printf("folder copy: %lld crash points\n", points);
}

}  // namespace
}  // namespace klv
