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
    char saved[32768];
    const DWORD n = GetEnvironmentVariableA("TMP", saved, sizeof saved);
    std::string longFolder = TempFolderPath();
    while (longFolder.size() < 300) longFolder += "klv-long-temporary-folder\\";
    ASSERT_TRUE(SetEnvironmentVariableA("TMP", longFolder.c_str()));
    const std::string got = platform::TemporaryFolder();
    SetEnvironmentVariableA("TMP", n > 0 && n < sizeof saved ? saved : nullptr);
    // The system may refuse a folder that long, and then there is none; but a
    // folder cut short would put the fetched launcher somewhere else.
    EXPECT_TRUE(got.empty() || got == longFolder) << got;
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
