// The install folder under Wine: the Run value through the real registry (in
// this program's own view, the view of the build under test), the shell's
// special folders, and the uninstall guard against the real ones.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "install/folder_tree.h"
#include "install/install_folder.h"
#include "install/install_guard.h"
#include "install/run_value.h"
#include "install/special_folders.h"
#include "platform/codepage.h"
#include "platform/file_system.h"
#include "platform/path_text.h"
#include "platform/registry.h"
#include "support/untouchable_file_system.h"

namespace klv {
namespace {

using platform::RealFileSystem;

class RunValue : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(
            RegCreateKeyExA(HKEY_LOCAL_MACHINE, kRunKeyPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr),
            ERROR_SUCCESS);
        RegDeleteValueA(key_, kRunValueName);
    }
    void TearDown() override {
        RegDeleteValueA(key_, kRunValueName);
        RegCloseKey(key_);
    }
    void Set(DWORD type, const std::string& bytes) {
        ASSERT_EQ(RegSetValueExA(key_, kRunValueName, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                                 static_cast<DWORD>(bytes.size())),
                  ERROR_SUCCESS);
    }
    // A string value as programs write it: the text and its NUL.
    void SetText(DWORD type, const std::string& text) { Set(type, std::string(text.c_str(), text.size() + 1)); }

    HKEY key_ = nullptr;
};

TEST_F(RunValue, GivesTheFolderPartOfAStringValue) {
    struct Case {
        DWORD type;
        std::string text;
        std::string folder;
        const char* catches;
    };
    const Case cases[] = {
        {REG_SZ, "D:\\Apps\\Tool\\run.exe", "D:\\Apps\\Tool\\", "the folder with its trailing backslash"},
        {REG_EXPAND_SZ, "%ProgramFiles%\\X\\run.exe", "%ProgramFiles%\\X\\", "read as stored, not expanded"},
        {REG_SZ, "\"C:\\Program Files\\KLV\\run.exe\" /min", "\"C:\\Program Files\\KLV\\", "the quote is kept"},
        {REG_SZ, "C:run.exe", "C:", "a drive colon as the last separator"},
        {REG_SZ, "run.exe", "", "a bare name: the default folder"},
        {REG_SZ, "", "", "an empty value: the default folder"},
        // 0x81 0x5C is one character whose trail byte is a backslash.
        {REG_SZ, "C:\\KLV\\\x81\x5Crun.exe", "C:\\KLV\\", "a trail byte 0x5C is no separator"},
        {REG_SZ, "C:\\\xC4\xE3\xBA\xC3\\run.exe", "C:\\\xC4\xE3\xBA\xC3\\", "a code page 936 folder name"},
    };
    for (const Case& c : cases) {
        SetText(c.type, c.text);
        EXPECT_EQ(FindInstalledDir(), c.folder) << c.catches;
    }
}

TEST_F(RunValue, EndsTheTextAtItsFirstNul) {
    Set(REG_SZ, std::string("C:\\A\\a.exe\0D:\\B\\b.exe\0", 22));
    EXPECT_EQ(FindInstalledDir(), "C:\\A\\");
}

TEST_F(RunValue, IsEmptyWithoutAValueOrWithASizeOfZero) {
    EXPECT_EQ(FindInstalledDir(), "");
    Set(REG_SZ, "");
    EXPECT_EQ(FindInstalledDir(), "");
    // Size 0 gives empty text before the type is looked at.
    Set(REG_BINARY, "");
    EXPECT_EQ(FindInstalledDir(), "");
}

TEST_F(RunValue, OfAnyOtherTypeRaisesTheRegistryError) {
    const DWORD one = 1;
    struct Case {
        DWORD type;
        std::string bytes;
    };
    const Case cases[] = {
        {REG_DWORD, std::string(reinterpret_cast<const char*>(&one), sizeof one)},
        {REG_BINARY, std::string("C:\\A\\run.exe", 12)},
        {REG_MULTI_SZ, std::string("C:\\A\\run.exe\0\0", 14)},
    };
    for (const Case& c : cases) {
        Set(c.type, c.bytes);
        try {
            FindInstalledDir();
            ADD_FAILURE() << "type " << c.type << " did not raise";
        } catch (const platform::ERegistryException& error) {
            EXPECT_STREQ(error.what(), "Invalid data type for 'KLV_U'");
        }
    }
    // The key was closed on the way out: it can be deleted and made again.
    RegCloseKey(key_);
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunKeyPath, 0, KEY_ALL_ACCESS, &key_), ERROR_SUCCESS);
}

std::string Environment(const char* name) {
    char value[MAX_PATH] = {};
    const DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
    return n > 0 && n < sizeof value ? std::string(value, n) : std::string();
}

TEST(SpecialFolderPath, GivesTheCommonApplicationDataWithoutTrailingBackslash) {
    const std::string common = SpecialFolderPath(kCommonAppDataIndex);
    ASSERT_FALSE(common.empty());
    EXPECT_NE(common.back(), '\\');
    // The same folder as the system's own variable names.
    EXPECT_TRUE(platform::AnsiSameText(common, Environment("ProgramData"))) << common;
    EXPECT_EQ(DefaultInstallDir(), common + "\\QNKLV\\");
}

TEST(SpecialFolderPath, IsEmptyForAFolderWithoutAPath) {
    // 0x03 is the control panel, a virtual folder. (Wine gives the printers,
    // 0x04, a "::{...}" parsing name instead of failing; the guard passes
    // such names over.)
    EXPECT_EQ(SpecialFolderIds[3], 0x03);
    EXPECT_EQ(SpecialFolderPath(3), "");
    EXPECT_EQ(SpecialFolderPath(57), "");  // past the table
}

using Untouchable = test::UntouchableFileSystem;

std::string ShortName(const std::string& path) {
    char out[MAX_PATH] = {};
    const DWORD n = GetShortPathNameA(path.c_str(), out, MAX_PATH);
    return n > 0 && n < MAX_PATH ? std::string(out, n) : std::string();
}

TEST(DeleteInstallFolder, RefusesEverySpecialFolderAndEveryFolderAboveOne) {
    const KnownFolders known = ShellKnownFolders();
    ASSERT_EQ(known.special.size(), SpecialFolderIds.size());
    ASSERT_EQ(known.system.size(), 3u);
    std::vector<std::string> refused = {"C:\\windows\\system32\\drivers\\"};
    for (const std::string& path : known.special) {
        if (path.empty() || path.compare(0, 2, "::") == 0) continue;
        refused.push_back(path);
        refused.push_back(path + "\\");
        // Every folder above it, up to its drive's root.
        for (std::string up = platform::FolderOf(path); !up.empty();
             up = platform::FolderOf(up.substr(0, up.size() - 1)))
            refused.push_back(up);
        // The same folder by its short name.
        const std::string shortName = ShortName(path);
        if (!shortName.empty() && shortName != path) refused.push_back(shortName + "\\");
    }
    ASSERT_GT(refused.size(), 100u);
    Untouchable fs;
    for (const std::string& folder : refused)
        EXPECT_NE(JudgeInstallFolder(fs, folder, known), InstallFolderVerdict::Ours) << folder;
    // Through the uninstall's own entry, which asks the shell itself.
    for (const std::string& folder :
         {std::string(), std::string("C:"), std::string("C:\\"), std::string("\\"), std::string("Z:\\"),
          SpecialFolderPath(kCommonAppDataIndex) + "\\", std::string("C:\\users\\")})
        EXPECT_FALSE(DeleteInstallFolder(fs, folder)) << folder;
    EXPECT_EQ(fs.attempts, 0);
}

TEST(DeleteInstallFolder, DeletesTheDefaultFolderAndOneBelowApplicationData) {
    // The default folder is below a special folder and must stay deletable.
    const std::string folder = DefaultInstallDir();
    ASSERT_TRUE(RealFileSystem().CreateFolderChain(folder + "sub"));
    RealFileSystem().WriteWholeFile(folder + "sub\\a.dll", "a");
    EXPECT_TRUE(DeleteInstallFolder(RealFileSystem(), folder));
    EXPECT_FALSE(RealFileSystem().DirectoryExists(folder));
}

}  // namespace
}  // namespace klv
