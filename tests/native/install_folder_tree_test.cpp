// The folder-tree operations on real temporary folders, with the refusing
// wrapper standing for files the system will not delete or read.
#include "install/folder_tree.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "install/single_file.h"
#include "package/completeness.h"
#include "platform/error.h"
#include "install/install_guard.h"
#include "platform/path_text.h"
#include "support/recording_copy_view.h"
#include "support/refusing_file_system.h"
#include "support/swapping_file_system.h"
#include "support/temp_folder.h"

namespace klv {
namespace {

using platform::RealFileSystem;
using test::RefusingFileSystem;
using test::SwappingFileSystem;
using test::TempFolder;

using test::RecordingCopyView;

// Records the copies in the order they were asked for.
class CopyLog : public RefusingFileSystem {
public:
    using RefusingFileSystem::RefusingFileSystem;
    bool CopyFileOver(const std::string& from, const std::string& to) override {
        copies.push_back(from);
        return RefusingFileSystem::CopyFileOver(from, to);
    }
    std::vector<std::string> copies;
};

void SymLink(const std::string& target, const std::string& link) {
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0) << link;
}

bool IsReadOnly(const std::string& native) {
    struct stat st {};
    return ::stat(native.c_str(), &st) == 0 && (st.st_mode & S_IWUSR) == 0;
}

// --- IsPackageComplete ------------------------------------------------------

TEST(IsPackageComplete, FollowsTheManifestLineByLine) {
    struct Case {
        const char* manifest;
        bool expected;
        const char* catches;
    };
    const Case cases[] = {
        {"a.dll=1.0\r\nsub\\b.dll=1.0\r\n", true, "every listed file present, one in a sub-folder"},
        {"", true, "an empty manifest lists nothing that could be missing"},
        {"Kesto.exe=1.0.12.15\r\na.dll=1\r\n", true, "the launcher itself need not be there"},
        {"KESTO.EXE=1.0\r\na.dll=1\r\n", true, "the launcher's name is compared without case"},
        {"a.dll=1\r\nmissing.dll=1\r\n", false, "a listed file that is absent"},
        {"a.dll=1\r\n\r\nsub\\b.dll=1\r\n", false, "a blank line has an empty name, and the folder is no file"},
        {"a.dll\r\n", false, "a line without '=' has an empty name, though a.dll is present"},
        {"a.dll=1\nsub\\b.dll=1", true, "LF line ends, and a last line without an end"},
        {"a.dll=1\rsub\\b.dll=1\r", true, "CR line ends; the final CR adds no empty line"},
        {"a.dll=1\r\n\n", false, "CR LF then LF: the second end closes an empty line"},
        {"sub=1\r\n", false, "a listed name that is a folder is no file"},
        {"..\\outside.txt=1\r\n", false, "a name outside the folder never counts, even when that file exists"},
        {"a.dll==2\r\n", true, "the name ends at the first '='"},
    };
    for (const Case& c : cases) {
        TempFolder root;
        root.Write("outside.txt", "x");
        root.Write("pkg\\a.dll", "a");
        root.Write("pkg\\sub\\b.dll", "b");
        root.Write("pkg\\files.txt", c.manifest);
        EXPECT_EQ(IsPackageComplete(RealFileSystem(), root.path() + "pkg\\"), c.expected) << c.catches;
    }
}

TEST(IsPackageComplete, IsFalseWithoutFolderOrManifest) {
    TempFolder dir;
    dir.Write("nomanifest\\a.dll", "a");
    dir.Write("folder-manifest\\files.txt\\x", "x");
    EXPECT_FALSE(IsPackageComplete(RealFileSystem(), dir.path() + "none\\"));
    EXPECT_FALSE(IsPackageComplete(RealFileSystem(), dir.path() + "nomanifest\\"));
    EXPECT_FALSE(IsPackageComplete(RealFileSystem(), dir.path() + "folder-manifest\\"));
}

TEST(IsPackageComplete, RaisesWhenTheManifestCannotBeRead) {
    TempFolder dir;
    dir.Write("files.txt", "a.dll=1\r\n");
    RefusingFileSystem fs(RealFileSystem());
    fs.unreadable.insert(dir.path() + "files.txt");
    EXPECT_THROW(IsPackageComplete(fs, dir.path()), EFOpenError);
}

// --- DisplaceExisting -----------------------------------------------------------

TEST(DisplaceExisting, DeletesWhatItCanAndMovesTheRestToAFreeOldName) {
    TempFolder dir;
    const std::string x = dir.path() + "KLVCtrl.exe";
    RefusingFileSystem fs(RealFileSystem());

    // Nothing there: free already.
    EXPECT_TRUE(DisplaceExisting(fs, x));

    // Deletable: deleted, no .old name used.
    dir.Write("KLVCtrl.exe", "v1");
    EXPECT_TRUE(DisplaceExisting(fs, x));
    EXPECT_FALSE(dir.Exists("KLVCtrl.exe"));
    EXPECT_FALSE(dir.Exists("KLVCtrl.exe.old0"));

    // In use while .old0 is in use too and .old1 is free: moved to .old1.
    dir.Write("KLVCtrl.exe", "v2");
    dir.Write("KLVCtrl.exe.old0", "v0");
    fs.undeletable = {x, x + ".old0"};
    EXPECT_TRUE(DisplaceExisting(fs, x));
    EXPECT_FALSE(dir.Exists("KLVCtrl.exe"));
    EXPECT_EQ(dir.Read("KLVCtrl.exe.old0"), "v0");
    EXPECT_EQ(dir.Read("KLVCtrl.exe.old1"), "v2");

    // In use, and .old0 taken by a file that can go now: .old0 is reused.
    dir.Write("KLVCtrl.exe", "v3");
    fs.undeletable = {x};
    EXPECT_TRUE(DisplaceExisting(fs, x));
    EXPECT_EQ(dir.Read("KLVCtrl.exe.old0"), "v3");
    EXPECT_EQ(dir.Read("KLVCtrl.exe.old1"), "v2");  // untouched: the first free name was enough

    // Cannot be moved either: false, the file stays.
    dir.Write("KLVCtrl.exe", "v4");
    fs.undeletable = {x, x + ".old0", x + ".old1"};
    fs.unmovable = {x};
    EXPECT_FALSE(DisplaceExisting(fs, x));
    EXPECT_EQ(dir.Read("KLVCtrl.exe"), "v4");
}

TEST(DisplaceExisting, MovesAReadOnlyTargetAside) {
    // The real layer refuses to delete a read-only file, as Windows does.
    TempFolder dir;
    dir.Write("a.dll", "old");
    ASSERT_TRUE(RealFileSystem().SetReadOnly(dir.path() + "a.dll", true));
    EXPECT_TRUE(DisplaceExisting(RealFileSystem(), dir.path() + "a.dll"));
    EXPECT_FALSE(dir.Exists("a.dll"));
    EXPECT_EQ(dir.Read("a.dll.old0"), "old");
}

TEST(DisplaceExisting, LeavesAFolderOfThatNameAlone) {
    // A folder is no file: nothing to displace, and the copy onto it fails later.
    TempFolder dir;
    dir.Write("a.dll\\inner", "x");
    EXPECT_TRUE(DisplaceExisting(RealFileSystem(), dir.path() + "a.dll"));
    EXPECT_TRUE(dir.Exists("a.dll\\inner"));
}

// --- CopyOneFile and CopyFolderTree -----------------------------------------------

TEST(CopyOneFile, ShowsOneBoxWithTheBareNameWhenItFails) {
    TempFolder src, dst;
    RecordingCopyView view;
    // "\xC4\xE3\xBA\xC3" is a code page 936 name; the box text is UTF-8.
    EXPECT_FALSE(CopyOneFile(RealFileSystem(), view, src.path(), dst.path(), "\xC4\xE3\xBA\xC3.dll"));
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.boxes[0], "拷贝文件你好.dll失败。");

    src.Write("a.dll", "new");
    EXPECT_TRUE(CopyOneFile(RealFileSystem(), view, src.path(), dst.path(), "a.dll"));
    EXPECT_EQ(dst.Read("a.dll"), "new");
    EXPECT_EQ(view.boxes.size(), 1u);
}

TEST(CopyOneFile, FailsWithABoxWhenTheTargetCannotBeFreed) {
    TempFolder src, dst;
    src.Write("a.dll", "new");
    dst.Write("a.dll", "old");
    RefusingFileSystem fs(RealFileSystem());
    fs.undeletable = {dst.path() + "a.dll"};
    fs.unmovable = {dst.path() + "a.dll"};
    RecordingCopyView view;
    EXPECT_FALSE(CopyOneFile(fs, view, src.path(), dst.path(), "a.dll"));
    EXPECT_EQ(view.boxes, std::vector<std::string>{"拷贝文件a.dll失败。"});
    EXPECT_EQ(dst.Read("a.dll"), "old");
}

TEST(CopyFolderTree, CompletesAFolderWhoseSynchronisationWasCutShort) {
    // files_o.txt: the previous manifest of a synchronisation that never
    // finished, which keeps the folder from counting as complete. The copy
    // brings a whole package, so it goes; one the source holds is copied.
    for (const bool sourceHasOne : {false, true}) {
        SCOPED_TRACE(sourceHasOne ? "the source holds one too" : "only the target holds one");
        TempFolder src, dst;
        src.Write("files.txt", "a.dll=2\r\n");
        src.Write("a.dll", "new");
        if (sourceHasOne) src.Write("files_o.txt", "from the source");
        dst.Write("files.txt", "a.dll=2\r\n");
        dst.Write("files_o.txt", "a.dll=1\r\n");
        dst.Write("a.dll", "old");
        EXPECT_FALSE(IsPackageComplete(RealFileSystem(), dst.path()));
        RecordingCopyView view;
        EXPECT_TRUE(CopyFolderTree(RealFileSystem(), view, src.path(), dst.path()));
        EXPECT_EQ(dst.Read("a.dll"), "new");
        EXPECT_EQ(IsPackageComplete(RealFileSystem(), dst.path()), !sourceHasOne);
        EXPECT_EQ(dst.Exists("files_o.txt"), sourceHasOne);
        if (sourceHasOne) {
            EXPECT_EQ(dst.Read("files_o.txt"), "from the source");
        }
    }
}

TEST(CopyFolderTree, CopiesTheTreeButLeadingDotEntries) {
    TempFolder src, dst;
    src.Write("KLVInst.exe", "inst");
    src.Write("files.txt", "KLVInst.exe=1\r\n");
    src.Write("sub\\deep\\x.dll", "x");
    src.Write("sub\\empty\\.keep", "");
    src.Write(".git\\config", "secret");
    src.Write("sub\\.cfg", "cfg");
    RecordingCopyView view;
    const std::string target = dst.path() + "new\\chain\\";
    EXPECT_TRUE(CopyFolderTree(RealFileSystem(), view, src.path(), target));
    EXPECT_TRUE(view.boxes.empty());
    EXPECT_EQ(dst.Read("new\\chain\\KLVInst.exe"), "inst");
    EXPECT_EQ(dst.Read("new\\chain\\files.txt"), "KLVInst.exe=1\r\n");
    EXPECT_EQ(dst.Read("new\\chain\\sub\\deep\\x.dll"), "x");
    EXPECT_TRUE(RealFileSystem().DirectoryExists(target + "sub\\empty"));  // folders come along, even empty ones
    EXPECT_FALSE(dst.Exists("new\\chain\\.git"));
    EXPECT_FALSE(dst.Exists("new\\chain\\sub\\.cfg"));
    EXPECT_FALSE(dst.Exists("new\\chain\\sub\\empty\\.keep"));
}

TEST(CopyFolderTree, FromAMissingSourceCreatesTheTargetAndSucceeds) {
    TempFolder dst;
    RecordingCopyView view;
    EXPECT_TRUE(CopyFolderTree(RealFileSystem(), view, dst.path() + "none\\", dst.path() + "a\\b\\"));
    EXPECT_TRUE(RealFileSystem().DirectoryExists(dst.path() + "a\\b\\"));
    EXPECT_TRUE(view.boxes.empty());
}

TEST(CopyFolderTree, DisplacesATargetInUseAndGoesOn) {
    TempFolder src, dst;
    src.Write("KLVCtrl.exe", "new");
    src.Write("sub\\b.dll", "b");
    dst.Write("KLVCtrl.exe", "running");
    RefusingFileSystem fs(RealFileSystem());
    fs.undeletable = {dst.path() + "KLVCtrl.exe"};
    RecordingCopyView view;
    EXPECT_TRUE(CopyFolderTree(fs, view, src.path(), dst.path()));
    EXPECT_EQ(dst.Read("KLVCtrl.exe"), "new");
    EXPECT_EQ(dst.Read("KLVCtrl.exe.old0"), "running");
    EXPECT_EQ(dst.Read("sub\\b.dll"), "b");
    EXPECT_TRUE(view.boxes.empty());
}

TEST(CopyFolderTree, StopsAtAFailureTwoLevelsDownAfterOneBoxKeepingEarlierCopies) {
    TempFolder src, dst;
    for (const char* name : {"a.dll", "b.dll", "one\\c.dll", "one\\two\\d.dll", "one\\two\\bad.dll", "one\\two\\e.dll",
                             "one\\f.dll", "z\\g.dll"})
        src.Write(name, name);
    CopyLog fs(RealFileSystem());
    const std::string bad = src.path() + "one\\two\\bad.dll";
    fs.unreadable.insert(bad);
    RecordingCopyView view;
    EXPECT_FALSE(CopyFolderTree(fs, view, src.path(), dst.path()));
    EXPECT_EQ(view.boxes, std::vector<std::string>{"拷贝文件bad.dll失败。"});
    // The failing copy is the last one asked for: nothing after it is touched.
    ASSERT_FALSE(fs.copies.empty());
    EXPECT_EQ(fs.copies.back(), bad);
    // Every copy made before it is still there, complete.
    for (std::size_t i = 0; i + 1 < fs.copies.size(); ++i) {
        const std::string name = fs.copies[i].substr(src.path().size());
        EXPECT_EQ(dst.Read(name), src.Read(name)) << name;
    }
    EXPECT_FALSE(dst.Exists("one\\two\\bad.dll"));
}

TEST(CopyFolderTree, LeavesNoCopyReadOnly) {
    TempFolder src, dst;
    src.Write("ro.dll", "ro");
    src.Write("rw.dll", "rw");
    ASSERT_TRUE(RealFileSystem().SetReadOnly(src.path() + "ro.dll", true));
    RecordingCopyView view;
    ASSERT_TRUE(CopyFolderTree(RealFileSystem(), view, src.path(), dst.path()));
    EXPECT_EQ(dst.Read("ro.dll"), "ro");
    EXPECT_FALSE(IsReadOnly(dst.native() + "ro.dll"));
    EXPECT_TRUE(IsReadOnly(src.native() + "ro.dll"));  // the source keeps its attribute
    EXPECT_FALSE(IsReadOnly(dst.native() + "rw.dll"));
    // So a second copy over it needs no displacement.
    ASSERT_TRUE(CopyFolderTree(RealFileSystem(), view, src.path(), dst.path()));
    EXPECT_FALSE(dst.Exists("ro.dll.old0"));
    EXPECT_TRUE(view.boxes.empty());
}

TEST(CopyFolderTree, OntoItselfChangesNothing) {
    // Displacing each target would delete the very file about to be copied.
    TempFolder dir;
    dir.Write("a.dll", "a");
    dir.Write("sub\\b.dll", "b");
    RecordingCopyView view;
    EXPECT_TRUE(CopyFolderTree(RealFileSystem(), view, dir.path(), dir.path()));
    // Another name for the same folder is the same folder.
    SymLink(dir.native(), dir.native() + "sub/alias");
    EXPECT_TRUE(CopyFolderTree(RealFileSystem(), view, dir.path() + "sub\\alias\\", dir.path()));
    EXPECT_EQ(dir.Read("a.dll"), "a");
    EXPECT_EQ(dir.Read("sub\\b.dll"), "b");
    EXPECT_FALSE(dir.Exists("a.dll.old0"));
    EXPECT_TRUE(view.boxes.empty());
}

TEST(CopyFolderTree, IntoItsOwnSubFolderDoesNotCopyTheTargetIntoItself) {
    TempFolder dir;
    dir.Write("a.dll", "a");
    dir.Write("sub\\b.dll", "b");
    RecordingCopyView view;
    EXPECT_TRUE(CopyFolderTree(RealFileSystem(), view, dir.path(), dir.path() + "backup\\"));
    EXPECT_EQ(dir.Read("backup\\a.dll"), "a");
    EXPECT_EQ(dir.Read("backup\\sub\\b.dll"), "b");
    EXPECT_FALSE(dir.Exists("backup\\backup"));
}

TEST(CopyFolderTree, NeitherFollowsNorRecreatesFolderLinks) {
    TempFolder src, dst, elsewhere;
    src.Write("a.dll", "a");
    elsewhere.Write("big\\data.bin", "not ours");
    elsewhere.Write("single.txt", "one file");
    SymLink(elsewhere.native() + "big", src.native() + "linked");
    SymLink(src.native(), src.native() + "loop");  // would copy forever if followed
    SymLink(elsewhere.native() + "single.txt", src.native() + "file-link.txt");
    RecordingCopyView view;
    EXPECT_TRUE(CopyFolderTree(RealFileSystem(), view, src.path(), dst.path()));
    EXPECT_EQ(dst.Read("a.dll"), "a");
    EXPECT_FALSE(dst.Exists("linked"));
    EXPECT_FALSE(dst.Exists("loop"));
    // Nor is a link to a file copied as the file it leads to.
    EXPECT_FALSE(dst.Exists("file-link.txt"));
    EXPECT_TRUE(view.boxes.empty());
}

// --- DeleteFileOrDefer and DeleteFolderTree --------------------------------------------

TEST(DeleteFileOrDefer, DeletesNowOrDefersAndIgnoresWhatIsNoFile) {
    TempFolder dir;
    dir.Write("a.dll", "a");
    dir.Write("busy.dll", "b");
    dir.Write("ro.dll", "r");
    dir.Write("folder\\x", "x");
    ASSERT_TRUE(RealFileSystem().SetReadOnly(dir.path() + "ro.dll", true));
    RefusingFileSystem fs(RealFileSystem());
    fs.undeletable = {dir.path() + "busy.dll"};

    DeleteFileOrDefer(fs, dir.path() + "a.dll");
    DeleteFileOrDefer(fs, dir.path() + "busy.dll");
    DeleteFileOrDefer(fs, dir.path() + "ro.dll");
    DeleteFileOrDefer(fs, dir.path() + "folder");
    DeleteFileOrDefer(fs, dir.path() + "none");
    EXPECT_FALSE(dir.Exists("a.dll"));
    EXPECT_TRUE(dir.Exists("busy.dll"));
    // Read-only is no reason to wait for a restart: it goes now.
    EXPECT_FALSE(dir.Exists("ro.dll"));
    EXPECT_TRUE(dir.Exists("folder\\x"));
    EXPECT_EQ(fs.deferred, std::vector<std::string>{dir.path() + "busy.dll"});
}

TEST(DeleteFolderTree, DeletesATreeAndTheFolderItself) {
    for (const bool trailing : {true, false}) {
        TempFolder root;
        root.Write("pkg\\a.dll", "a");
        root.Write("pkg\\sub\\deep\\b.dll", "b");
        root.Write("pkg\\empty\\placeholder", "");
        RealFileSystem().RemoveFile(root.path() + "pkg\\empty\\placeholder");
        RefusingFileSystem fs(RealFileSystem());
        DeleteFolderTree(fs, root.path() + (trailing ? "pkg\\" : "pkg"));
        EXPECT_FALSE(root.Exists("pkg")) << "trailing backslash: " << trailing;
        EXPECT_TRUE(fs.deferred.empty());
    }
}

TEST(DeleteFolderTree, DoesNothingForAMissingFolderOrAFile) {
    TempFolder dir;
    dir.Write("file", "x");
    RefusingFileSystem fs(RealFileSystem());
    DeleteFolderTree(fs, dir.path() + "none");
    DeleteFolderTree(fs, dir.path() + "file");
    DeleteFolderTree(fs, "");  // names no folder, least of all the working one
    EXPECT_TRUE(dir.Exists("file"));
    EXPECT_TRUE(fs.deferred.empty());
}

TEST(DeleteFolderTree, DefersWhatIsInUseWithTheFoldersAboveItAndDeletesTheRest) {
    TempFolder root;
    root.Write("pkg\\KLVCtrl\\bin\\KLVCtrl.exe", "running");
    root.Write("pkg\\KLVCtrl\\bin\\readme.txt", "r");
    root.Write("pkg\\KLVCtrl\\other.dll", "o");
    root.Write("pkg\\a.dll", "a");
    root.Write("pkg\\lib\\b.dll", "b");
    RefusingFileSystem fs(RealFileSystem());
    const std::string pkg = root.path() + "pkg";
    fs.undeletable = {pkg + "\\KLVCtrl\\bin\\KLVCtrl.exe"};
    DeleteFolderTree(fs, pkg);
    // The running program's file first, then its folders from the inside out,
    // so that the restart deletes them in an order that works; one backslash
    // between folder and name.
    EXPECT_EQ(fs.deferred, (std::vector<std::string>{pkg + "\\KLVCtrl\\bin\\KLVCtrl.exe", pkg + "\\KLVCtrl\\bin",
                                                     pkg + "\\KLVCtrl", pkg}));
    EXPECT_TRUE(root.Exists("pkg\\KLVCtrl\\bin\\KLVCtrl.exe"));
    EXPECT_FALSE(root.Exists("pkg\\KLVCtrl\\bin\\readme.txt"));
    EXPECT_FALSE(root.Exists("pkg\\KLVCtrl\\other.dll"));
    EXPECT_FALSE(root.Exists("pkg\\a.dll"));
    EXPECT_FALSE(root.Exists("pkg\\lib"));
}

TEST(DeleteFolderTree, LeavesLeadingDotEntriesAndDefersTheirFolder) {
    TempFolder root;
    root.Write("pkg\\a.dll", "a");
    root.Write("pkg\\.git\\HEAD", "ref");
    root.Write("pkg\\sub\\.cfg", "cfg");
    RefusingFileSystem fs(RealFileSystem());
    DeleteFolderTree(fs, root.path() + "pkg\\");
    EXPECT_FALSE(root.Exists("pkg\\a.dll"));
    EXPECT_EQ(root.Read("pkg\\.git\\HEAD"), "ref");
    EXPECT_EQ(root.Read("pkg\\sub\\.cfg"), "cfg");
    EXPECT_EQ(fs.deferred, (std::vector<std::string>{root.path() + "pkg\\sub", root.path() + "pkg"}));
}

TEST(DeleteFolderTree, RemovesLinksWithoutTouchingWhatTheyLeadTo) {
    TempFolder root, outside;
    outside.Write("precious\\data.txt", "keep");
    outside.Write("single.txt", "keep too");
    root.Write("pkg\\a.dll", "a");
    SymLink(outside.native() + "precious", root.native() + "pkg/junction");
    SymLink(outside.native() + "single.txt", root.native() + "pkg/file-link");
    SymLink(root.native() + "pkg", root.native() + "pkg/loop");
    SymLink(outside.native() + "gone", root.native() + "pkg/dangling");
    RefusingFileSystem fs(RealFileSystem());
    DeleteFolderTree(fs, root.path() + "pkg");
    EXPECT_FALSE(root.Exists("pkg"));
    EXPECT_TRUE(fs.deferred.empty());
    EXPECT_EQ(outside.Read("precious\\data.txt"), "keep");
    EXPECT_EQ(outside.Read("single.txt"), "keep too");
}

TEST(DeleteFolderTree, JoinsADoubleByteNameWhoseTrailByteIsABackslash) {
    // "\x81\x5C" is one code page 936 character; its second byte is 0x5C, so
    // the folder path does not end with a separator and one must be added.
    TempFolder root;
    const std::string name = "\x81\x5C";
    ASSERT_EQ(::mkdir((root.native() + name).c_str(), 0777), 0);
    std::ofstream(root.native() + name + "/a.dll") << "a";
    ASSERT_TRUE(RealFileSystem().FileExists(root.path() + name + "\\a.dll"));
    RefusingFileSystem fs(RealFileSystem());
    DeleteFolderTree(fs, root.path() + name);
    EXPECT_TRUE(fs.deferred.empty());
    EXPECT_FALSE(RealFileSystem().DirectoryExists(root.path() + name));
}

// --- links and folders that are not ours --------------------------------------------

// Every operation that changes the install folder, against a link or a swap
// planted by someone who may write there. Whatever the operation, what the
// links lead to ("outside", someone else's) stays exactly as it was.
TEST(InstallFolderTree, NeverFollowsALink) {
    struct Layout {
        TempFolder root, outside, stick;
        std::string Root(const std::string& name) const { return root.path() + name; }
        std::string Native(const std::string& name) const { return root.native() + name; }
    };
    struct Case {
        const char* catches;
        std::function<void(Layout&)> run;
    };
    const Case cases[] = {
        {"a link at the install folder is not deleted through, and survives",
         [](Layout& l) {
             SymLink(l.outside.native(), l.Native("QNKLV"));
             EXPECT_FALSE(DeleteInstallFolder(RealFileSystem(), l.Root("QNKLV\\")));
             EXPECT_TRUE(RealFileSystem().OpenFolder(l.Root("QNKLV")).kind == platform::FolderKind::Link);
         }},
        {"a link at the install folder is not copied into: one box",
         [](Layout& l) {
             SymLink(l.outside.native(), l.Native("QNKLV"));
             RecordingCopyView view;
             EXPECT_FALSE(CopyFolderTree(RealFileSystem(), view, l.stick.path(), l.Root("QNKLV\\")));
             EXPECT_EQ(view.boxes, std::vector<std::string>{CopyFailureText("QNKLV")});
         }},
        {"a link inside the install folder is not copied into",
         [](Layout& l) {
             l.root.Write("QNKLV\\a.dll", "old");
             SymLink(l.outside.native(), l.Native("QNKLV/sub"));
             RecordingCopyView view;
             EXPECT_FALSE(CopyFolderTree(RealFileSystem(), view, l.stick.path(), l.Root("QNKLV\\")));
             EXPECT_EQ(view.boxes, std::vector<std::string>{CopyFailureText("sub")});
         }},
        {"a target file that is a link is replaced as the link, not written through",
         [](Layout& l) {
             l.root.Write("QNKLV\\sub\\b.dll", "old");
             SymLink(l.outside.native() + "precious.txt", l.Native("QNKLV/a.dll"));
             RecordingCopyView view;
             EXPECT_TRUE(CopyFolderTree(RealFileSystem(), view, l.stick.path(), l.Root("QNKLV\\")));
             EXPECT_EQ(l.root.Read("QNKLV\\a.dll"), "new a");
             EXPECT_FALSE(RealFileSystem().OpenFolder(l.Root("QNKLV\\a.dll")).kind == platform::FolderKind::Link);
         }},
        {"a source folder swapped for a link after its listing is not walked into",
         [](Layout& l) {
             SwappingFileSystem fs(RealFileSystem(), l.stick.path(), [&l](std::vector<platform::DirectoryEntry>&) {
                 ASSERT_EQ(::rename((l.stick.native() + "sub").c_str(), (l.stick.native() + "moved").c_str()), 0);
                 SymLink(l.outside.native(), l.stick.native() + "sub");
             });
             RecordingCopyView view;
             EXPECT_TRUE(CopyFolderTree(fs, view, l.stick.path(), l.Root("QNKLV\\")));
             EXPECT_TRUE(fs.swapped());
             EXPECT_EQ(l.root.Files(), std::vector<std::string>{"QNKLV\\a.dll"});
         }},
        {"a folder swapped for a link after its listing goes as the link",
         [](Layout& l) {
             l.root.Write("QNKLV\\a.dll", "a");
             l.root.Write("QNKLV\\sub\\b.dll", "b");
             SwappingFileSystem fs(RealFileSystem(), l.Root("QNKLV\\"), [&l](std::vector<platform::DirectoryEntry>&) {
                 ASSERT_EQ(::rename(l.Native("QNKLV/sub").c_str(), l.Native("moved").c_str()), 0);
                 SymLink(l.outside.native(), l.Native("QNKLV/sub"));
             });
             EXPECT_TRUE(DeleteInstallFolder(fs, l.Root("QNKLV\\")));
             EXPECT_TRUE(fs.swapped());
             EXPECT_FALSE(l.root.Exists("QNKLV"));
             EXPECT_TRUE(fs.deferred.empty());
         }},
        {"the delete removes links inside, and a folder that is a link, as links",
         [](Layout& l) {
             l.root.Write("QNKLV\\a.dll", "a");
             SymLink(l.outside.native(), l.Native("QNKLV/junction"));
             SymLink(l.outside.native() + "precious.txt", l.Native("QNKLV/file-link"));
             SymLink(l.outside.native(), l.Native("linked-tree"));
             EXPECT_TRUE(DeleteInstallFolder(RealFileSystem(), l.Root("QNKLV\\")));
             DeleteFolderTree(RealFileSystem(), l.Root("linked-tree"));
             EXPECT_EQ(l.root.Files(), std::vector<std::string>{});
             EXPECT_FALSE(RealFileSystem().OpenFolder(l.Root("linked-tree")).kind == platform::FolderKind::Link);
         }},
        {"a folder of another owner is not deleted",
         [](Layout& l) {
             l.root.Write("QNKLV\\theirs.txt", "theirs");
             ASSERT_EQ(::chown(l.Native("QNKLV").c_str(), 65534, 65534), 0);
             EXPECT_FALSE(DeleteInstallFolder(RealFileSystem(), l.Root("QNKLV\\")));
             EXPECT_EQ(l.root.Read("QNKLV\\theirs.txt"), "theirs");
         }},
        {"nothing is written into a folder reached through a link, nor its mode changed",
         [](Layout& l) {
             SymLink(l.outside.native(), l.Native("QNKLV"));
             SymLink(l.outside.native() + "precious.txt", l.Native("file-link"));
             EXPECT_THROW(RealFileSystem().WriteWholeFile(l.Root("QNKLV\\files.txt"), "x"), Error);
             EXPECT_FALSE(RealFileSystem().CopyFileOver(l.stick.path() + "a.dll", l.Root("QNKLV\\a.dll")));
             EXPECT_FALSE(RealFileSystem().CopyFileOver(l.Root("file-link"), l.Root("copy.txt")));
             EXPECT_FALSE(RealFileSystem().SetReadOnly(l.Root("file-link"), true));
         }},
        {"a temporary name planted as a link is not written through",
         [](Layout& l) {
             l.root.Write("QNKLV\\files.txt", "old");
             SymLink(l.outside.native() + "precious.txt", l.Native("QNKLV/files.txt.klv-partial"));
             RealFileSystem().WriteWholeFile(l.Root("QNKLV\\files.txt"), "new");
             EXPECT_EQ(l.root.Read("QNKLV\\files.txt"), "new");
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.catches);
        Layout l;
        l.outside.Write("precious.txt", "someone else's");
        l.outside.Write("deep\\data.bin", "not ours");
        ::chmod((l.outside.native() + "precious.txt").c_str(), 0644);
        l.stick.Write("a.dll", "new a");
        l.stick.Write("sub\\b.dll", "new b");
        struct stat before {};
        ::stat((l.outside.native() + "precious.txt").c_str(), &before);
        c.run(l);
        EXPECT_EQ(l.outside.Files(), (std::vector<std::string>{"deep\\data.bin", "precious.txt"}));
        EXPECT_EQ(l.outside.Read("precious.txt"), "someone else's");
        EXPECT_EQ(l.outside.Read("deep\\data.bin"), "not ours");
        struct stat after {};
        ::stat((l.outside.native() + "precious.txt").c_str(), &after);
        EXPECT_EQ(after.st_mode, before.st_mode);
    }
}

}  // namespace
}  // namespace klv
