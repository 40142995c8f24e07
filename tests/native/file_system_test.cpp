// The POSIX file layer must behave like the Windows one in the ways the core
// relies on; these are the rules whose absence would hide faults natively.
#include "platform/file_system.h"

#include <gtest/gtest.h>

#include "platform/codepage.h"
#include "platform/error.h"
#include "support/temp_folder.h"

namespace klv::platform {
namespace {

TEST(FileSystem, ExistenceTestsTellFilesFromFolders) {
    test::TempFolder dir;
    dir.Write("sub\\a.txt", "x");
    FileSystem& fs = RealFileSystem();
    EXPECT_TRUE(fs.FileExists(dir.path() + "sub\\a.txt"));
    EXPECT_FALSE(fs.DirectoryExists(dir.path() + "sub\\a.txt"));
    EXPECT_TRUE(fs.DirectoryExists(dir.path() + "sub"));
    EXPECT_FALSE(fs.FileExists(dir.path() + "sub"));
    EXPECT_FALSE(fs.FileExists(dir.path() + "none"));
}

TEST(FileSystem, ReadOnlyFileCannotBeDeletedOrOverwrittenButCanBeRenamed) {
    test::TempFolder dir;
    dir.Write("in-use.dll", "old");
    FileSystem& fs = RealFileSystem();
    const std::string target = dir.path() + "in-use.dll";
    ASSERT_TRUE(fs.SetReadOnly(target, true));
    EXPECT_FALSE(fs.RemoveFile(target));
    EXPECT_THROW(fs.WriteWholeFile(target, "new"), EFCreateError);
    EXPECT_EQ(dir.Read("in-use.dll"), "old");
    EXPECT_TRUE(fs.RenameFile(target, target + ".old"));
    EXPECT_EQ(dir.Read("in-use.dll.old"), "old");
}

TEST(FileSystem, RenameNeverReplacesAnExistingFile) {
    test::TempFolder dir;
    dir.Write("a", "A");
    dir.Write("b", "B");
    EXPECT_FALSE(RealFileSystem().RenameFile(dir.path() + "a", dir.path() + "b"));
    EXPECT_EQ(dir.Read("a"), "A");
    EXPECT_EQ(dir.Read("b"), "B");
}

TEST(FileSystem, WriteReplacesWholeAndLeavesNoTemporaryFile) {
    test::TempFolder dir;
    dir.Write("f", "a much longer old content");
    FileSystem& fs = RealFileSystem();
    fs.WriteWholeFile(dir.path() + "f", "new");
    EXPECT_EQ(fs.ReadWholeFile(dir.path() + "f"), "new");
    EXPECT_EQ(fs.ListFolder(dir.path()).size(), 1u);
}

TEST(FileSystem, WriteIntoAMissingFolderFailsWithTheCreateMessage) {
    test::TempFolder dir;
    try {
        RealFileSystem().WriteWholeFile(dir.path() + "missing\\f", "x");
        FAIL() << "expected a failure";
    } catch (const EFCreateError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Cannot create file \"" + dir.path() + "missing\\f\". ", 0), 0u)
            << e.what();
    }
}

TEST(FileSystem, FolderChainAndDoubleByteNames) {
    test::TempFolder dir;
    FileSystem& fs = RealFileSystem();
    // "\xB1\x5C" is one code page 936 character whose trail byte is a backslash.
    const std::string name = "a\\b\\\xB1\x5C\\c";
    EXPECT_TRUE(fs.CreateFolderChain(dir.path() + name));
    EXPECT_TRUE(fs.DirectoryExists(dir.path() + name));
    EXPECT_EQ(FolderOf(dir.path() + "x\\\xB1\x5C" + "y.dll"), dir.path() + "x\\");
}

TEST(Codepage, CaseInsensitiveComparisonLeavesDoubleByteCharactersAlone) {
    EXPECT_TRUE(AnsiSameText("Sub\\KLVInst.EXE", "sub\\klvinst.exe"));
    // Trail byte 0x61 ('a') of a double-byte character must not be folded.
    EXPECT_FALSE(AnsiSameText("\x81\x61", "\x81\x41"));
}

}  // namespace
}  // namespace klv::platform
