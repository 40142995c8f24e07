// The POSIX file layer must behave like the Windows one in the ways the core
// relies on; these are the rules whose absence would hide faults natively.
#include "platform/file_system.h"
#include "platform/path_text.h"

#include <gtest/gtest.h>

#include <vector>

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

// The one reading of path text that every path check and every path use
// share: where each rule would drift, the row names the fault it catches.
TEST(PathText, EveryReadingAgreesOnWhereNamesEnd) {
    struct Case {
        std::string path;
        std::string folder;              // FolderOf
        bool endsWithSeparator;          // EndsWithSeparator
        std::vector<std::string> names;  // SplitPath, empty names kept
        std::string trimmed;             // WithoutTrailingSeparator
        const char* catches;
    };
    const Case cases[] = {
        {"C:\\a\\\xB1\x5C",
         "C:\\a\\",
         false,
         {"C:", "a", "\xB1\x5C"},
         "C:\\a\\\xB1\x5C",
         "a second byte 0x5C is no separator, at the end least of all"},
        {"C:\\a\\\xB1\x5C\\",
         "C:\\a\\\xB1\x5C\\",
         true,
         {"C:", "a", "\xB1\x5C", ""},
         "C:\\a\\\xB1\x5C",
         "the real separator after that character is one"},
        {"a\x91/../x",
         "",
         false,
         {"a\x91", "..", "x"},
         "a\x91/../x",
         "no byte below 0x40 is a second byte: the slash after a lead byte separates, as Windows reads it"},
        {"x\x81", "", false, {"x\x81"}, "x\x81", "a lead byte at the very end stands alone"},
        {"C:\\", "C:\\", true, {"C:", ""}, "C:\\", "a drive root keeps its backslash"},
        {"\\", "\\", true, {"", ""}, "\\", "the root of the working drive keeps its backslash"},
        {"\\\\srv\\share\\\\",
         "\\\\srv\\share\\\\",
         true,
         {"", "", "srv", "share", "", ""},
         "\\\\srv\\share",
         "every trailing backslash goes from a folder"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FolderOf(c.path), c.folder) << c.catches;
        EXPECT_EQ(EndsWithSeparator(c.path), c.endsWithSeparator) << c.catches;
        EXPECT_EQ(SplitPath(c.path, true), c.names) << c.catches;
        EXPECT_EQ(WithoutTrailingSeparator(c.path), c.trimmed) << c.catches;
    }
    EXPECT_EQ(JoinPath("C:\\a\\\xB1\x5C", "f"), "C:\\a\\\xB1\x5C\\f");
    EXPECT_EQ(WithSlashes("a\\\xB1\x5C\\b"), "a/\xB1\x5C/b");
    EXPECT_TRUE(SameAsciiText("KLVCtrl.EXE", "klvctrl.exe"));
    EXPECT_FALSE(SameAsciiText("\xC4\xE3", "\xC4\xC3"));  // only ASCII letters fold
}

TEST(Codepage, CaseInsensitiveComparisonLeavesDoubleByteCharactersAlone) {
    EXPECT_TRUE(AnsiSameText("Sub\\KLVInst.EXE", "sub\\klvinst.exe"));
    // Trail byte 0x61 ('a') of a double-byte character must not be folded.
    EXPECT_FALSE(AnsiSameText("\x81\x61", "\x81\x41"));
}

}  // namespace
}  // namespace klv::platform
