// What the self-update asks of Windows, under Wine: the temporary folder, the
// program's own file, and the PE reader beside the system's own reading of
// version resources.
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/file_system.h"
#include "platform/file_version.h"
#include "platform/own_process.h"
#include "pe/pe_image.h"
#include "selfupdate/self_update.h"
#include "win32/win_test_paths.h"

namespace klv {
namespace {

TEST(SelfUpdatePlatformWin, TemporaryFolderEndsInABackslashAndExists) {
    const std::string folder = TempFolderPath();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '\\');
    EXPECT_TRUE(platform::RealFileSystem().DirectoryExists(folder));
}

TEST(SelfUpdatePlatformWin, TemporaryFolderLongerThanTheUsualBuffer) {
    // Longer in code page 936 bytes than MAX_PATH, though not in characters,
    // which is as long as the system takes a temporary folder: a user name in
    // Chinese and a few folders deep.
    char saved[32768];
    const DWORD n = GetEnvironmentVariableA("TMP", saved, sizeof saved);
    std::string longFolder = TempFolderPath();
    while (longFolder.size() <= MAX_PATH + 40) longFolder += "\xD7\xC0\xC3\xE6\xCE\xC4\xBC\xFE\\";
    ASSERT_TRUE(SetEnvironmentVariableA("TMP", longFolder.c_str()));
    char usual[MAX_PATH + 1];
    const DWORD needed = GetTempPathA(sizeof usual, usual);
    const std::string got = platform::TemporaryFolder();
    SetEnvironmentVariableA("TMP", n > 0 && n < sizeof saved ? saved : nullptr);
    EXPECT_GT(needed, sizeof usual) << "the premise: the usual buffer does not hold it";
    // Read whole: none, or a folder cut short, would put the fetched launcher
    // somewhere else.
    EXPECT_EQ(got, longFolder);
}

TEST(SelfUpdatePlatformWin, OwnExecutableIsThisProgram) {
    const std::string path = platform::OwnExecutablePath();
    char module[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, module, MAX_PATH);
    EXPECT_EQ(path, module);
    EXPECT_TRUE(platform::RealFileSystem().FileExists(path));
    // And the machine type the launcher accepts is the one it was built for.
    const auto image = ReadPeImage(platform::RealFileSystem().ReadWholeFile(path));
    ASSERT_TRUE(image.has_value());
    EXPECT_EQ(image->machine, OwnMachineType());
}

TEST(SelfUpdatePlatformWin, PeReaderAgreesWithTheSystemOnVersions) {
    for (const char* name : {"version_subject.exe", "plain_subject.exe"}) {
        SCOPED_TRACE(name);
        const std::string path = test::SubjectProgram(name);
        const auto image = ReadPeImage(platform::RealFileSystem().ReadWholeFile(path));
        ASSERT_TRUE(image.has_value());
        EXPECT_TRUE(image->sectionsFit);
        EXPECT_EQ(image->fileVersion, ReadFileVersion(path));
    }
    EXPECT_EQ(ReadFileVersion(test::SubjectProgram("version_subject.exe")), "1.0.12.15");
}

}  // namespace
}  // namespace klv
