// The self-replacement script run for real by the system's cmd, started
// hidden as the launcher starts it, in stick folders with awkward names: the
// old file is replaced only once its program has exited, never removed when
// the new one cannot be put in place, each wait ends after its tries, the
// launcher is started from its folder, and the script cleans up after itself.
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
        trace_ = root + "started.txt";
        EXPECT_TRUE(Files().CreateFolderChain(root + stick));
        EXPECT_TRUE(Files().CreateFolderChain(root + temp));
        Files().WriteWholeFile(root + stick + fileName, oldBytes);
        Files().WriteWholeFile(root + temp + "Kesto.exe", newLauncher_);
        return MakeSelfReplacementPaths(root + stick + fileName, root + temp + "Kesto.exe", root + temp);
    }

    // Writes and starts the script as the launcher does. The subject program
    // that the script starts in the end leaves its trace for WaitForStart.
    void StartScript(const SelfReplacementPaths& paths, int tries) {
        Files().WriteWholeFile(paths.script, SelfReplacementScript(paths, tries));
        SetEnvironmentVariableA("KLV_SUBJECT_TRACE", trace_.c_str());
        const bool started = platform::StartHidden(paths.script);
        SetEnvironmentVariableA("KLV_SUBJECT_TRACE", nullptr);
        ASSERT_TRUE(started) << paths.script;
    }
    // Waits (hang guard) until the script has deleted itself, its last step.
    static void WaitForScript(const SelfReplacementPaths& paths) {
        for (int i = 0; i < 900 && Files().FileExists(paths.script); ++i) Sleep(200);
        ASSERT_FALSE(Files().FileExists(paths.script)) << "the script did not finish";
    }
    void RunScript(const SelfReplacementPaths& paths, int tries) {
        StartScript(paths, tries);
        WaitForScript(paths);
    }

    // What the subject program started by the last script wrote: its file
    // and its working folder, one a line.
    std::string WaitForStart() const {
        for (int i = 0; i < 100 && !Files().FileExists(trace_); ++i) Sleep(200);
        return ReadOrAbsent(trace_);
    }
    // That trace for a launcher started from `paths.executable` in its folder
    // (the system gives the folder without its backslash, but "E:\\").
    static std::string StartedFrom(const SelfReplacementPaths& paths) {
        std::string folder = paths.folder;
        if (folder.size() > 3 && folder.back() == '\\') folder.pop_back();
        return paths.executable + "\n" + folder;
    }

    std::string work_;
    int prepared_ = 0;
    std::string trace_;
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
        EXPECT_FALSE(Files().FileExists(paths.executable + ".old")) << "the old launcher's copy stays";
        EXPECT_EQ(WaitForStart(), StartedFrom(paths)) << "the new launcher was not started from its folder";
    }
}

TEST_F(SelfReplacementWin, KeepsTheOldLauncherWhenTheNewOneCannotBePutInPlace) {
    struct Case {
        const char* why;
        const char* folderInTheWay;  // ".new" or ".old", or none: the fetched file is gone
    };
    const Case cases[] = {
        {"the fetched file is gone", nullptr},
        {"a folder stands where the new launcher's copy would go", ".new"},
        {"a folder stands where the old launcher's copy would go", ".old"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        const SelfReplacementPaths paths = Prepare("stick\\", "Kesto.exe", "temp\\", oldLauncher_);
        if (c.folderInTheWay == nullptr) {
            ASSERT_TRUE(Files().RemoveFile(paths.fetched));
        } else {
            ASSERT_TRUE(Files().CreateFolderChain(paths.executable + c.folderInTheWay + "\\"));
            Files().WriteWholeFile(paths.executable + c.folderInTheWay + "\\keep.txt", "mine");
        }
        RunScript(paths, 2);
        EXPECT_TRUE(ReadOrAbsent(paths.executable) == oldLauncher_) << "the old launcher is not whole";
        // The fetched file stays for the next run to try again.
        if (c.folderInTheWay != nullptr) {
            EXPECT_TRUE(ReadOrAbsent(paths.fetched) == newLauncher_);
        }
        for (const std::string suffix : {".new", ".old"}) {
            const std::string copy = paths.executable + suffix;
            if (c.folderInTheWay != nullptr && suffix == c.folderInTheWay) {
                // What stood in the way is left as it was.
                EXPECT_TRUE(Files().DirectoryExists(copy)) << copy;
                EXPECT_EQ(ReadOrAbsent(copy + "\\keep.txt"), "mine");
            } else {
                EXPECT_FALSE(Files().FileExists(copy) || Files().DirectoryExists(copy)) << "left behind: " << copy;
            }
        }
        EXPECT_EQ(WaitForStart(), StartedFrom(paths)) << "the old launcher was not started again";
    }
}

// A file held: the old launcher still running holds its own against the
// move, a virus scanner may hold the fetched one, unshared, against the copy.
// Each wait goes on while it is held and ends after its tries; the launcher
// then on the stick is whole, and is the one started.
TEST_F(SelfReplacementWin, WaitsWhileAFileIsHeldAndGivesUpAfterItsTries) {
    const std::string program = LongRunningProgram();
    ASSERT_TRUE(Files().FileExists(program)) << program;
    const std::string running = Files().ReadWholeFile(program);
    struct Case {
        bool launcherRuns;  // or the fetched file is held
        bool letGo;         // three seconds after the start, within the tries
        int tries;
        const char* why;
    };
    const Case cases[] = {
        {true, true, 30, "the old launcher exits a few seconds later"},
        {true, false, 2, "the old launcher does not exit in time"},
        {false, true, 30, "the fetched file is let go a few seconds later"},
        {false, false, 2, "the fetched file stays held past the tries"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        const std::string oldBytes = c.launcherRuns ? running : oldLauncher_;
        const SelfReplacementPaths paths = Prepare("stick\\", "Kesto.exe", "temp\\", oldBytes);
        HANDLE held = INVALID_HANDLE_VALUE;
        if (c.launcherRuns) {
            std::string command = "\"" + paths.executable + "\" wait-window KlvNoSuchWindow 60000";
            STARTUPINFOA startup{};
            startup.cb = sizeof startup;
            PROCESS_INFORMATION process{};
            ASSERT_TRUE(
                CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process));
            CloseHandle(process.hThread);
            held = process.hProcess;
            // The premise: the file of a running program cannot be replaced.
            Files().WriteWholeFile(paths.executable + ".probe", "x");
            EXPECT_FALSE(MoveFileExA((paths.executable + ".probe").c_str(), paths.executable.c_str(),
                                     MOVEFILE_REPLACE_EXISTING));
            DeleteFileA((paths.executable + ".probe").c_str());
        } else {
            held = CreateFileA(paths.fetched.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            ASSERT_NE(held, INVALID_HANDLE_VALUE);
            // The premise: nothing else can read it meanwhile.
            EXPECT_FALSE(CopyFileA(paths.fetched.c_str(), (paths.fetched + ".probe").c_str(), FALSE));
        }
        const auto letGo = [&] {
            EXPECT_TRUE(ReadOrAbsent(paths.executable) == oldBytes) << "replaced while held";
            if (c.launcherRuns) {
                EXPECT_EQ(WaitForSingleObject(held, 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "it ran all along";
                TerminateProcess(held, 0);
                WaitForSingleObject(held, 10000);
            }
            CloseHandle(held);
        };
        StartScript(paths, c.tries);
        if (c.letGo) {
            Sleep(3000);
            letGo();
        }
        WaitForScript(paths);
        if (!c.letGo) letGo();
        EXPECT_TRUE(ReadOrAbsent(paths.executable) == (c.letGo ? newLauncher_ : oldBytes))
            << "the launcher on the stick is not the one expected";
        EXPECT_EQ(Files().FileExists(paths.fetched), !c.letGo) << "the fetched file goes once it is in place";
        EXPECT_FALSE(Files().FileExists(paths.executable + ".new"));
        EXPECT_FALSE(Files().FileExists(paths.executable + ".old"));
        // The test driver started with no arguments leaves no trace.
        if (c.letGo || !c.launcherRuns) {
            EXPECT_EQ(WaitForStart(), StartedFrom(paths));
        }
    }
}

}  // namespace
}  // namespace klv
