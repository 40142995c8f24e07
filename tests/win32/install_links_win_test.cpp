// Links and a folder of another account at and in the install folder, on the
// real Windows file layer, grant and checks under Wine. The links are Unix
// symbolic links to folders and the foreign folder a Unix folder of another
// owner, both planted from the Linux side (plant-links.sh): Wine makes
// neither itself. Wine cannot remove such a link (DeleteFileA and
// RemoveDirectoryA both fail on it), so here the delete leaves it, deferred;
// and a Unix link to a file is no link to a Windows program under Wine at all
// (a plain file, whose deletion deletes the target), so only folder links
// are planted.
// Whatever the case, what the links lead to ("outside", someone else's) stays
// as it was, its permissions included, onto which Wine maps a granted list.
#include <windows.h>
#include <aclapi.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "install/folder_tree.h"
#include "install/install_folder_check.h"
#include "install/install_guard.h"
#include "install/single_file.h"
#include "platform/error.h"
#include "platform/file_system.h"
#include "platform/folder_access.h"
#include "support/swapping_file_system.h"
#include "win32/win_test_paths.h"
#include "support/recording_copy_view.h"

namespace klv {
namespace {

using platform::RealFileSystem;

using test::RecordingCopyView;

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Whether the system now lets Everyone write into `path` (Wine answers from
// the Unix permissions).
bool OpenToEveryone(const std::string& path) {
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    bool open = false;
    if (GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                              &sd) == ERROR_SUCCESS &&
        dacl != nullptr) {
        SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
        PSID everyone = nullptr;
        AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone);
        for (DWORD i = 0; i < dacl->AceCount; ++i) {
            ACCESS_ALLOWED_ACE* entry = nullptr;
            if (GetAce(dacl, i, reinterpret_cast<void**>(&entry)) && entry->Header.AceType == ACCESS_ALLOWED_ACE_TYPE &&
                EqualSid(&entry->SidStart, everyone) && (entry->Mask & (FILE_WRITE_DATA | GENERIC_WRITE)) != 0)
                open = true;
        }
        FreeSid(everyone);
    }
    if (sd != nullptr) LocalFree(sd);
    return open;
}

std::string NewFolder() {
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    static int serial = 0;
    return std::string(temp) + "klv-links-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++serial) +
           "\\";
}

TEST(Links, NoLinkIsFollowedAndNoFolderOfAnotherOwnerTakenAsOurs) {
    const char* planted = std::getenv("KLV_LINKS_DIR");
    if (planted == nullptr) GTEST_SKIP() << "run by the win32_links test, which plants the links";
    const std::string l = test::WinePathOf(planted) + "\\";
    const std::string outside = l + "outside";
    ASSERT_EQ(GetFileAttributesA((l + "grant-link").c_str()) & FILE_ATTRIBUTE_REPARSE_POINT,
              DWORD(FILE_ATTRIBUTE_REPARSE_POINT))
        << "Wine shows a Unix symbolic link as a reparse point";
    ASSERT_FALSE(OpenToEveryone(outside));
    const std::string stick = NewFolder();
    ASSERT_TRUE(RealFileSystem().CreateFolderChain(stick));
    RealFileSystem().WriteWholeFile(stick + "a.dll", "new a");

    struct Case {
        const char* catches;
        std::function<void()> run;
    };
    const Case cases[] = {
        {"a link at the install folder is granted nothing",
         [&] {
             EXPECT_FALSE(platform::GrantEveryoneAccess(l + "grant-link\\"));
             EXPECT_EQ(GetLastError(), DWORD(ERROR_CANT_ACCESS_FILE));
             EXPECT_EQ(CheckInstallFolder(RealFileSystem(), l + "grant-link\\").state, InstallFolderState::Link);
         }},
        {"a link at the install folder is not copied into: one box",
         [&] {
             RecordingCopyView view;
             EXPECT_FALSE(CopyFolderTree(RealFileSystem(), view, stick, l + "copy-link\\"));
             EXPECT_EQ(view.boxes, std::vector<std::string>{CopyFailureText("copy-link")});
         }},
        {"a link at the install folder is not deleted through, nor walked when deleted as a tree",
         [&] {
             EXPECT_FALSE(DeleteInstallFolder(RealFileSystem(), l + "delete-link\\"));
             EXPECT_TRUE(Exists(l + "delete-link"));
             DeleteFolderTree(RealFileSystem(), l + "delete-link\\");
         }},
        {"a link inside the package is neither copied, written through nor walked by the delete",
         [&] {
             const std::string target = NewFolder();
             RecordingCopyView view;
             EXPECT_TRUE(CopyFolderTree(RealFileSystem(), view, l + "pkg\\", target));
             EXPECT_TRUE(Exists(target + "a.dll"));
             EXPECT_FALSE(Exists(target + "junction"));
             EXPECT_FALSE(RealFileSystem().CopyFileOver(stick + "a.dll", l + "pkg\\junction\\a.dll"));
             EXPECT_FALSE(RealFileSystem().SetReadOnly(l + "pkg\\junction", true));
             EXPECT_THROW(RealFileSystem().WriteWholeFile(l + "pkg\\junction\\files.txt", "x"), Error);
             EXPECT_TRUE(DeleteInstallFolder(RealFileSystem(), l + "pkg\\"));
             EXPECT_FALSE(Exists(l + "pkg\\a.dll"));
             DeleteFolderTree(RealFileSystem(), target);
         }},
        {"a folder swapped for a link between listing and descent goes as the link",
         [&] {
             // "sub" is the planted link; listed, it was still the folder.
             test::SwappingFileSystem fs(RealFileSystem(), l + "swap\\",
                                         [](std::vector<platform::DirectoryEntry>& listed) {
                                             for (platform::DirectoryEntry& entry : listed) {
                                                 if (entry.name != "sub") continue;
                                                 ASSERT_TRUE(entry.isLink);
                                                 entry.isLink = false;
                                                 entry.attributes = FILE_ATTRIBUTE_DIRECTORY;
                                             }
                                         });
             EXPECT_TRUE(DeleteInstallFolder(fs, l + "swap\\"));
             EXPECT_TRUE(fs.swapped());
             EXPECT_FALSE(Exists(l + "swap\\a.dll"));
         }},
        {"a folder of another account is neither granted nor deleted",
         [&] {
             EXPECT_EQ(CheckInstallFolder(RealFileSystem(), l + "theirs\\").state, InstallFolderState::ForeignOwner);
             EXPECT_FALSE(platform::GrantEveryoneAccess(l + "theirs\\"));
             EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_OWNER));
             EXPECT_FALSE(OpenToEveryone(l + "theirs"));
             EXPECT_FALSE(DeleteInstallFolder(RealFileSystem(), l + "theirs\\"));
             EXPECT_TRUE(Exists(l + "theirs\\theirs.txt"));
         }},
        {"the default folder the launcher makes is open to everyone from the start and passes its checks",
         [&] {
             const std::string made = NewFolder();
             EXPECT_EQ(PrepareDefaultInstallFolder(RealFileSystem(), made).state, InstallFolderState::Safe);
             EXPECT_TRUE(OpenToEveryone(made));
             EXPECT_TRUE(platform::GrantEveryoneAccess(made));
             EXPECT_TRUE(DeleteInstallFolder(RealFileSystem(), made));
             EXPECT_FALSE(Exists(made));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.catches);
        c.run();
        EXPECT_FALSE(OpenToEveryone(outside));
        EXPECT_EQ(RealFileSystem().ReadWholeFile(outside + "\\precious.txt"), "someone else's");
        EXPECT_EQ(RealFileSystem().ReadWholeFile(outside + "\\deep\\data.bin"), "not ours");
        const std::vector<platform::DirectoryEntry> entries = RealFileSystem().ListFolder(outside);
        EXPECT_EQ(entries.size(), 2u);
    }
    DeleteFolderTree(RealFileSystem(), stick);
}

}  // namespace
}  // namespace klv
