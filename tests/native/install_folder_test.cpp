// Where the install folder is: the folder part of the Run value, the table
// of shell special folders, the size rule of the access grant, and the guard
// that keeps the uninstall from deleting what is not ours.
#include "install/install_folder.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <set>
#include <string>
#include <vector>

#include "install/install_folder_check.h"
#include "install/install_guard.h"
#include "install/run_value.h"
#include "install/special_folders.h"
#include "platform/folder_access.h"
#include "platform/path_text.h"
#include "platform/registry.h"
#include "support/refusing_file_system.h"
#include "support/temp_folder.h"
#include "support/untouchable_file_system.h"

namespace klv {
namespace {

using platform::RealFileSystem;
using test::TempFolder;

bool Cp936Lead(unsigned char byte) {
    return byte >= 0x81 && byte <= 0xFE;
}
bool NoLead(unsigned char) {
    return false;
}

TEST(RunValueFolder, KeepsEverythingUpToTheLastSeparator) {
    struct Case {
        std::string value;
        std::string folder;
        const char* catches;
    };
    const Case cases[] = {
        {"D:\\Apps\\Tool\\run.exe", "D:\\Apps\\Tool\\", "the trailing backslash is kept"},
        {"\"C:\\Program Files\\KLV\\run.exe\" /min", "\"C:\\Program Files\\KLV\\",
         "quotes and arguments are not interpreted"},
        {"C:run.exe", "C:", "a drive colon is a separator too"},
        {"run.exe", "", "no separator: no folder"},
        {"", "", "empty value"},
        {"%ProgramFiles%\\X\\run.exe", "%ProgramFiles%\\X\\", "environment references stay unexpanded"},
        {"C:\\A\\\x81\x5Crun.exe", "C:\\A\\", "a trail byte 0x5C is no separator"},
        {"C:\\A\\\x81\x5C\\run.exe", "C:\\A\\\x81\x5C\\", "the real separator after that character counts"},
        {"C:\\A\\\xC4\xE3\xBA\xC3\\\xB1\xED.exe", "C:\\A\\\xC4\xE3\xBA\xC3\\", "double-byte folder names"},
        {"C:\\A\\x\x81", "C:\\A\\", "a lead byte at the very end stands alone"},
        {"C:\\A\\\x81:run.exe", "C:\\A\\\x81:",
         "no byte below 0x40 is a second byte: a colon after a lead byte separates, as Windows reads it"},
        {"\\\\srv\\share\\run.exe", "\\\\srv\\share\\", "network paths"},
        {"C:\\A\\sub/run.exe", "C:\\A\\", "a forward slash is not one of the two separators"},
    };
    for (const Case& c : cases) EXPECT_EQ(RunValueFolder(c.value, Cp936Lead), c.folder) << c.catches;
    // Without a double-byte code page the same bytes are cut at the 0x5C.
    EXPECT_EQ(RunValueFolder("C:\\A\\\x81\x5Crun.exe", NoLead), "C:\\A\\\x81\x5C");
}

TEST(SpecialFolderIds, HoldsEveryAssignedIdFrom0x00To0x3DInOrder) {
    const std::set<int> unassigned = {0x0F, 0x32, 0x33, 0x34, 0x3C};
    std::vector<int> expected;
    for (int id = 0x00; id <= 0x3D; ++id)
        if (unassigned.count(id) == 0) expected.push_back(id);
    ASSERT_EQ(SpecialFolderIds.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(SpecialFolderIds[i], expected[i]) << "index " << i;
    // The one index in use: the application-data folder shared by all users.
    EXPECT_EQ(SpecialFolderIds[kCommonAppDataIndex], 0x23);
}

TEST(NewAccessListSize, HoldsEveryEntryAdded) {
    struct Case {
        std::int64_t inUse, free, entry;
        int entries;
        std::int64_t size;
        const char* catches;
    };
    const Case cases[] = {
        {28, 0, 20, 1, 68, "no bytes free: in use + two entries"},
        {28, 100, 20, 1, 128, "many bytes free: the old list's whole size"},
        {28, 30, 20, 1, 58, "a few bytes free: in use - free + two entries"},
        {28, 40, 20, 2, 68, "exactly two entries free: the whole size already holds both"},
        // The case the rule alone gets wrong: one Everyone entry of 20 bytes
        // was removed, leaving 20 free; the rule gives 48 + 20 - 20 + 40 = 68
        // with only 20 free after the 48 in use, and the second entry would
        // not fit.
        {48, 20, 20, 2, 88, "two entries with one entry's worth free"},
        {48, 20, 20, 1, 68, "the same list for one entry keeps the rule"},
        {28, 0, 20, 2, 68, "two entries with nothing free"},
    };
    for (const Case& c : cases) {
        const std::int64_t size = platform::NewAccessListSize(c.inUse, c.free, c.entry, c.entries);
        EXPECT_EQ(size, c.size) << c.catches;
        EXPECT_GE(size - c.inUse, c.entries * c.entry) << c.catches;
        EXPECT_GE(size, c.inUse + c.free) << c.catches;  // the old list is copied whole
    }
}

// --- the uninstall guard -----------------------------------------------------------

KnownFolders WindowsLikeFolders() {
    KnownFolders known;
    known.special = {"C:\\Windows",
                     "C:\\Windows\\System32",
                     "C:\\ProgramData",
                     "C:\\Program Files",
                     "C:\\Users\\me\\AppData\\Roaming",
                     "",
                     "C:\\Users\\Public\\Documents"};
    known.system = {"C:\\Windows", "C:\\Windows\\System32"};
    return known;
}

using Untouchable = test::UntouchableFileSystem;

TEST(JudgeInstallFolder, RefusesWhatIsNotOursByName) {
    using V = InstallFolderVerdict;
    struct Case {
        std::string folder;
        V verdict;
        const char* catches;
    };
    const Case cases[] = {
        {"", V::NoFolder, "InstallDir left empty by the registry error: \"\\*\" would be the drive root"},
        {"C:", V::NoFolder, "from \"C:run.exe\": the drive's working folder"},
        {"C:KLV\\", V::NoFolder, "drive-relative"},
        {"KLV\\", V::NoFolder, "relative to the working folder"},
        {"\"C:\\Apps\\", V::NoFolder, "a quoted Run value keeps its quote"},
        {"C:\\", V::DriveRoot, "from \"C:\\run.exe\""},
        {"c:/", V::DriveRoot, "a forward slash separates as well"},
        {"C:\\\\\\", V::DriveRoot, "repeated separators count as one"},
        {"\\", V::DriveRoot, "the working drive's root"},
        {"\\\\server\\share\\", V::DriveRoot, "the root of a network share"},
        {"\\\\server\\", V::NoFolder, "a server without a share"},
        {"C:\\Windows\\..\\", V::UnclearName, "\"..\" leads back up to the root"},
        {"C:\\Windows\\.\\", V::UnclearName, "\".\""},
        {"C:\\Windows.\\", V::UnclearName, "Windows drops a trailing dot: the Windows folder"},
        {"C:\\Windows \\", V::UnclearName, "and a trailing space"},
        {"C:\\a:b\\", V::UnclearName, "a stream colon"},
        {"C:\\a*\\", V::UnclearName, "a wildcard"},
        {"\\\\?\\C:\\KLV\\", V::UnclearName, "a path that lifts Windows' own path rules"},
        {"C:\\Windows\\System32\\", V::SpecialFolder, "from \"C:\\Windows\\System32\\x.exe\""},
        {"c:\\WINDOWS\\system32", V::SpecialFolder, "letter case and a missing trailing backslash"},
        {"C:/Windows/System32/", V::SpecialFolder, "forward slashes"},
        {"C:\\ProgramData\\", V::SpecialFolder, "the parent of the default folder"},
        {"C:\\Users\\", V::AboveSpecialFolder, "holds the profiles"},
        {"C:\\Users\\me\\", V::AboveSpecialFolder, "a profile holds application data"},
        {"C:\\Users\\Public\\", V::AboveSpecialFolder, "holds the shared documents"},
        {"C:\\Windows\\System32\\drivers\\", V::InSystemFolder, "nothing inside the system folder is ours"},
        {"C:\\Windows\\Temp\\KLV\\", V::InSystemFolder, "nor inside the Windows folder"},
        {"C:\\ProgramData\\QNKLV\\", V::Ours, "the default install folder"},
        {"C:\\Program Files\\KLV\\", V::Ours, "an install folder below a special folder"},
        {"D:\\Apps\\Tool\\", V::Ours, "any folder on another drive"},
        {"C:\\Users\\me\\AppData\\Roaming\\KLV", V::Ours, "below a profile's application data"},
        {"\\\\server\\share\\KLV\\", V::Ours, "a folder on a share"},
        {"C:\\\xC4\xE3\xBA\xC3\\\x81\x5C\\", V::Ours, "double-byte names, one with a trail byte 0x5C"},
    };
    Untouchable fs;
    for (const Case& c : cases)
        EXPECT_EQ(JudgeInstallFolder(fs, c.folder, WindowsLikeFolders()), c.verdict) << c.catches;
}

TEST(JudgeInstallFolder, RefusesAnotherNameForAKnownFolder) {
    // The names differ; what they lead to does not.
    TempFolder root;
    root.Write("sys\\Windows\\System32\\x.dll", "x");
    root.Write("data\\Common\\x", "x");
    root.Write("mine\\KLV\\a.dll", "a");
    const std::string r = root.native();
    ASSERT_EQ(::symlink((r + "sys/Windows/System32").c_str(), (r + "alias-system").c_str()), 0);
    ASSERT_EQ(::symlink((r + "data").c_str(), (r + "alias-data").c_str()), 0);
    ASSERT_EQ(::symlink((r + "sys/Windows/System32").c_str(), (r + "mine/link-into-system").c_str()), 0);
    KnownFolders known;
    known.special = {root.path() + "sys\\Windows", root.path() + "sys\\Windows\\System32",
                     root.path() + "data\\Common"};
    known.system = {root.path() + "sys\\Windows", root.path() + "sys\\Windows\\System32"};
    Untouchable names(Untouchable::Identities::Blind);
    test::RefusingFileSystem fs(RealFileSystem());
    using V = InstallFolderVerdict;
    EXPECT_EQ(JudgeInstallFolder(fs, root.path() + "alias-system\\", known), V::SpecialFolder);
    EXPECT_EQ(JudgeInstallFolder(fs, root.path() + "alias-data\\", known), V::AboveSpecialFolder);
    EXPECT_EQ(JudgeInstallFolder(fs, root.path() + "alias-system\\sub\\", known), V::Ours);  // does not exist
    ASSERT_EQ(::mkdir((r + "sys/Windows/System32/drivers").c_str(), 0777), 0);
    EXPECT_EQ(JudgeInstallFolder(fs, root.path() + "alias-system\\drivers\\", known), V::InSystemFolder);
    EXPECT_EQ(JudgeInstallFolder(fs, root.path() + "mine\\link-into-system\\drivers\\", known), V::InSystemFolder);
    EXPECT_EQ(JudgeInstallFolder(fs, root.path() + "mine\\KLV\\", known), V::Ours);
    // The same paths by name alone are still refused, as links.
    EXPECT_EQ(JudgeInstallFolder(names, root.path() + "alias-system\\", known), V::Link);
    EXPECT_EQ(JudgeInstallFolder(fs, root.path(), known), V::AboveSpecialFolder);
}

TEST(DeleteInstallFolder, DeletesAFolderOfOursAndRefusesTheRest) {
    TempFolder root;
    root.Write("QNKLV\\a.dll", "a");
    root.Write("QNKLV\\sub\\b.dll", "b");
    test::RefusingFileSystem fs(RealFileSystem());
    EXPECT_TRUE(DeleteInstallFolder(fs, root.path() + "QNKLV\\"));
    EXPECT_FALSE(root.Exists("QNKLV"));
    // Refused before anything is listed, deleted or deferred. The file layer
    // refuses every deletion as well, so that a guard that failed could not
    // harm this machine.
    Untouchable untouchable;
    for (const std::string& folder :
         {std::string(), std::string("\\"), std::string("C:"), std::string("tmp\\"), std::string("\\tmp\\..\\")})
        EXPECT_FALSE(DeleteInstallFolder(untouchable, folder)) << folder;
    EXPECT_EQ(untouchable.attempts, 0);
}

TEST(CheckInstallFolder, TakesOnlyARealFolderOfATrustedOwner) {
    using S = InstallFolderState;
    TempFolder root;
    root.Write("ours\\a.dll", "a");
    root.Write("theirs\\a.dll", "a");
    root.Write("file", "x");
    ASSERT_EQ(::chown((root.native() + "theirs").c_str(), 65534, 65534), 0);
    ASSERT_EQ(::symlink((root.native() + "ours").c_str(), (root.native() + "link").c_str()), 0);
    ASSERT_EQ(::symlink((root.native() + "gone").c_str(), (root.native() + "dangling").c_str()), 0);
    struct Case {
        const char* name;
        S state;
        bool usable;
    };
    const Case cases[] = {
        {"none\\", S::Missing, true},   {"ours\\", S::Safe, true},
        {"ours", S::Safe, true},        {"theirs\\", S::ForeignOwner, false},
        {"link\\", S::Link, false},     {"dangling\\", S::Link, false},
        {"file", S::NotAFolder, false}, {"link\\a.dll", S::NotAFolder, false},
    };
    for (const Case& c : cases) {
        const InstallFolderCheck check = CheckInstallFolder(RealFileSystem(), root.path() + c.name);
        EXPECT_EQ(check.state, c.state) << c.name;
        EXPECT_EQ(check.Usable(), c.usable) << c.name;
        EXPECT_EQ(check.held != nullptr, c.state == S::Safe) << c.name;
    }
    // A missing default folder is made and then passes its own check; one
    // that fails is left as it is.
    EXPECT_EQ(PrepareDefaultInstallFolder(RealFileSystem(), root.path() + "QNKLV\\").state, S::Safe);
    EXPECT_TRUE(root.Exists("QNKLV"));
    EXPECT_EQ(PrepareDefaultInstallFolder(RealFileSystem(), root.path() + "dangling\\").state, S::Link);
    EXPECT_FALSE(root.Exists("gone"));
    EXPECT_EQ(PrepareDefaultInstallFolder(RealFileSystem(), root.path() + "theirs\\").state, S::ForeignOwner);
    EXPECT_EQ(PrepareDefaultInstallFolder(RealFileSystem(), root.path() + "none\\deeper\\").state, S::NotAFolder);
}

TEST(RequireInstallDir, RaisesTheRegistryErrorWhileNoInstallFolderIsKnown) {
    // Left empty by the Run value's registry error: an action must not go on
    // with names relative to the current folder.
    const std::string saved = InstallDir;
    InstallDir.clear();
    try {
        RequireInstallDir();
        ADD_FAILURE() << "no error while InstallDir is empty";
    } catch (const platform::ERegistryException& e) {
        EXPECT_STREQ(e.what(), "Invalid data type for 'KLV_U'");
    }
    InstallDir = "D:\\Apps\\Tool\\";
    EXPECT_EQ(RequireInstallDir(), "D:\\Apps\\Tool\\");
    InstallDir = saved;
}

}  // namespace
}  // namespace klv
