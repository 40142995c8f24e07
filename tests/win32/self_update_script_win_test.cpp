// The self-replacement script run for real by the system's cmd, started
// hidden as the launcher starts it, in stick folders with awkward names: the
// old file is replaced only once its program has exited, never removed when
// the new one cannot be put in place, and the script cleans up after itself.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/file_system.h"
#include "platform/own_process.h"
#include "selfupdate/self_replacement.h"
#include "win32/win_test_paths.h"

namespace klv {
namespace {

platform::FileSystem& Files() {
    return platform::RealFileSystem();
}

std::string ReadOrAbsent(const std::string& path) {
    return Files().FileExists(path) ? Files().ReadWholeFile(path) : std::string("<absent>");
}

// A program that keeps running for a while: the test driver waiting for a
// window that never comes.
std::string LongRunningProgram() {
    const char* dir = std::getenv("KLV_WIN_TEST_DIR");
    return dir != nullptr ? test::WinePathOf(std::string(dir) + "/e2e/e2e_driver.exe") : std::string();
}

class SelfReplacementWin : public testing::Test {
protected:
    SelfReplacementWin() {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        work_ = std::string(temp) + "klv-su-" + std::to_string(GetCurrentProcessId()) + "-" +
                std::to_string(GetTickCount()) + "\\";
        oldLauncher_ = Files().ReadWholeFile(test::SubjectProgram("plain_subject.exe"));
        newLauncher_ = Files().ReadWholeFile(test::SubjectProgram("version_subject.exe"));
    }
    ~SelfReplacementWin() override {
        // A launcher that a script started may still hold its file a moment.
        for (int i = 0; i < 50 && Files().DirectoryExists(work_); ++i) {
            RemoveTree(work_);
            if (Files().DirectoryExists(work_)) Sleep(100);
        }
    }

    static void RemoveTree(const std::string& folder) {
        for (const auto& entry : Files().ListFolder(folder)) {
            const std::string path = folder + entry.name;
            if (entry.isDirectory) {
                RemoveTree(path + "\\");
            } else {
                SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(path.c_str());
            }
        }
        RemoveDirectoryA(folder.c_str());
    }

    // The stick folder with the old launcher in it, the temporary folder with
    // the fetched one; returns the names of the script. Each call takes a
    // folder of its own: a launcher that the previous script started may still
    // hold its file.
    SelfReplacementPaths Prepare(const std::string& stick, const std::string& fileName, const std::string& temp,
                                 const std::string& oldBytes) {
        const std::string root = work_ + std::to_string(++prepared_) + "\\";
        EXPECT_TRUE(Files().CreateFolderChain(root + stick));
        EXPECT_TRUE(Files().CreateFolderChain(root + temp));
        Files().WriteWholeFile(root + stick + fileName, oldBytes);
        Files().WriteWholeFile(root + temp + "Kesto.exe", newLauncher_);
        return MakeSelfReplacementPaths(root + stick + fileName, root + temp + "Kesto.exe", root + temp);
    }

    // Writes and starts the script as the launcher does, then waits (hang
    // guard) until it has deleted itself, its last step.
    static void RunScript(const SelfReplacementPaths& paths, int tries) {
        Files().WriteWholeFile(paths.script, SelfReplacementScript(paths, tries));
        ASSERT_TRUE(platform::StartHidden(paths.script)) << paths.script;
        for (int i = 0; i < 900 && Files().FileExists(paths.script); ++i) Sleep(200);
        ASSERT_FALSE(Files().FileExists(paths.script)) << "the script did not finish";
    }

    std::string work_;
    int prepared_ = 0;
    std::string oldLauncher_, newLauncher_;
};

TEST_F(SelfReplacementWin, ReplacesTheLauncherInAwkwardPlaces) {
    struct Case {
        const char* stick;
        const char* fileName;
        const char* temp;
        const char* why;
    };
    const Case cases[] = {
        {"stick\\", "Kesto.exe", "temp\\", "the plain case"},
        {"my stick\\tools\\", "Kesto.exe", "temp\\", "a blank in the folder"},
        {"stick\\", "KLV Start.exe", "temp\\", "a blank in the file name"},
        {"100% (KLV) & co\\", "Kesto.exe", "temp\\", "percent, parentheses and an ampersand"},
        {"U\xC5\xCC\\", "Kesto.exe", "temp\\", "a code page 936 folder name"},
        {"stick\\", "Kesto.exe", "Local Settings\\Temp\\", "a temporary folder with a blank: started unquoted"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        const SelfReplacementPaths paths = Prepare(c.stick, c.fileName, c.temp, oldLauncher_);
        RunScript(paths, 3);
        EXPECT_TRUE(ReadOrAbsent(paths.executable) == newLauncher_) << "not replaced: " << paths.executable;
        EXPECT_FALSE(Files().FileExists(paths.fetched)) << "the fetched file stays";
        EXPECT_FALSE(Files().FileExists(paths.executable + ".new")) << "the copy beside it stays";
    }
}

TEST_F(SelfReplacementWin, WaitsUntilTheOldLauncherHasExited) {
    const std::string program = LongRunningProgram();
    ASSERT_TRUE(Files().FileExists(program)) << program;
    const std::string running = Files().ReadWholeFile(program);
    const SelfReplacementPaths paths = Prepare("stick\\", "Kesto.exe", "temp\\", running);

    // The old launcher runs for a few seconds more, as a slow exit would.
    std::string command = "\"" + paths.executable + "\" wait-window KlvNoSuchWindow 4000";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process));
    // The premise: its file cannot be replaced while it runs.
    Files().WriteWholeFile(paths.executable + ".probe", "x");
    EXPECT_FALSE(
        MoveFileExA((paths.executable + ".probe").c_str(), paths.executable.c_str(), MOVEFILE_REPLACE_EXISTING));
    DeleteFileA((paths.executable + ".probe").c_str());

    RunScript(paths, 30);
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 0), WAIT_OBJECT_0) << "replaced while it still ran";
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    EXPECT_TRUE(ReadOrAbsent(paths.executable) == newLauncher_);
    EXPECT_FALSE(Files().FileExists(paths.fetched));
}

TEST_F(SelfReplacementWin, ReplacesAnOldScriptOfTheSameName) {
    const SelfReplacementPaths paths = Prepare("stick\\", "Kesto.exe", "temp\\", oldLauncher_);
    // An old script that would remove the launcher if any of it survived.
    Files().WriteWholeFile(paths.script, "@echo off\r\ndel \"" + paths.executable + "\"\r\n" + std::string(4000, ' '));
    RunScript(paths, 3);
    EXPECT_TRUE(ReadOrAbsent(paths.executable) == newLauncher_);
}

TEST_F(SelfReplacementWin, KeepsTheOldLauncherWhenTheNewOneCannotBePutInPlace) {
    struct Case {
        const char* why;
        void (*inject)(const SelfReplacementPaths&);
    };
    const Case cases[] = {
        {"the fetched file is gone", [](const SelfReplacementPaths& p) { ASSERT_TRUE(Files().RemoveFile(p.fetched)); }},
        {"a folder stands where the new launcher's copy would go",
         [](const SelfReplacementPaths& p) {
             ASSERT_TRUE(Files().CreateFolderChain(p.executable + ".new\\"));
             Files().WriteWholeFile(p.executable + ".new\\keep.txt", "mine");
         }},
        {"a folder stands where the old launcher's copy would go",
         [](const SelfReplacementPaths& p) {
             ASSERT_TRUE(Files().CreateFolderChain(p.executable + ".old\\"));
             Files().WriteWholeFile(p.executable + ".old\\keep.txt", "mine");
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        const SelfReplacementPaths paths = Prepare("stick\\", "Kesto.exe", "temp\\", oldLauncher_);
        c.inject(paths);
        const bool fetchedThere = Files().FileExists(paths.fetched);
        RunScript(paths, 2);
        EXPECT_TRUE(ReadOrAbsent(paths.executable) == oldLauncher_) << "the old launcher is not whole";
        // The fetched file stays for the next run to try again.
        EXPECT_EQ(Files().FileExists(paths.fetched), fetchedThere);
        // What stood in the way is left as it was.
        for (const char* folder : {".new\\", ".old\\"}) {
            if (Files().DirectoryExists(paths.executable + folder)) {
                EXPECT_EQ(ReadOrAbsent(paths.executable + folder + "keep.txt"), "mine");
            }
        }
        EXPECT_FALSE(Files().FileExists(paths.executable + ".old")) << "the old launcher's copy stays";
    }
}

TEST_F(SelfReplacementWin, KeepsTheOldLauncherThatDoesNotExitInTime) {
    const std::string program = LongRunningProgram();
    ASSERT_TRUE(Files().FileExists(program)) << program;
    const std::string running = Files().ReadWholeFile(program);
    const SelfReplacementPaths paths = Prepare("stick\\", "Kesto.exe", "temp\\", running);
    std::string command = "\"" + paths.executable + "\" wait-window KlvNoSuchWindow 60000";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process));

    RunScript(paths, 2);
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT))
        << "the premise: it still runs";
    TerminateProcess(process.hProcess, 0);
    WaitForSingleObject(process.hProcess, 10000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    EXPECT_TRUE(ReadOrAbsent(paths.executable) == running) << "the old launcher is not whole";
    EXPECT_TRUE(Files().FileExists(paths.fetched));
    EXPECT_FALSE(Files().FileExists(paths.executable + ".new"));
    EXPECT_FALSE(Files().FileExists(paths.executable + ".old"));
}

}  // namespace
}  // namespace klv
