// The self-replacement script run for real by the system's cmd, started
// hidden as the launcher starts it, in stick folders with awkward names: the
// old file is replaced only once its program has exited, never removed when
// the new one cannot be put in place, put back when the new one does not come
// up, each wait ends after its tries, the launcher is started from its
// folder, and the script cleans up after itself. And the script cut after
// each of its lines, as a power loss or a kill leaves it: the stick always
// holds one whole launcher, and a later run completes the update.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/file_system.h"
#include "platform/own_process.h"
#include "platform/process.h"
#include "selfupdate/self_replacement.h"
#include "selfupdate/self_update.h"
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

    // The stick folder with the old launcher in it, the temporary folder
    // with the checked new one in its update folder; returns the names of
    // the script. Each call takes a folder of its own: a launcher that the
    // previous script started may still hold its file.
    SelfReplacementPaths Prepare(const std::string& stick, const std::string& fileName, const std::string& temp,
                                 const std::string& oldBytes) {
        const std::string root = work_ + std::to_string(++prepared_) + "\\";
        trace_ = root + "started.txt";
        tempFolder_ = root + temp;
        const std::string update = tempFolder_ + kUpdateFolderName;
        EXPECT_TRUE(Files().CreateFolderChain(root + stick));
        EXPECT_TRUE(Files().CreateFolderChain(update));
        Files().WriteWholeFile(root + stick + fileName, oldBytes);
        Files().WriteWholeFile(update + "Kesto.exe", newLauncher_);
        return MakeSelfReplacementPaths(root + stick + fileName, update + "Kesto.exe", update, platform::SystemFolder(),
                                        "1.0.13.0");
    }

    // The script's variables, and the trace that the subject programs leave.
    platform::EnvironmentVariables Environment(const SelfReplacementPaths& paths) const {
        platform::EnvironmentVariables variables = SelfReplacementEnvironment(paths);
        variables.emplace_back("KLV_SUBJECT_TRACE", trace_);
        return variables;
    }

    // Writes and starts the script as the launcher does.
    void StartScript(const SelfReplacementPaths& paths, int tries, int cameUpTries = 20) {
        Files().WriteWholeFile(paths.script, SelfReplacementScript(tries, cameUpTries));
        ASSERT_TRUE(platform::StartScriptHidden(paths.script, paths.updateFolder, Environment(paths))) << paths.script;
    }
    // Waits (hang guard) until the script has deleted itself, its last step.
    static void WaitForScript(const SelfReplacementPaths& paths) {
        for (int i = 0; i < 900 && Files().FileExists(paths.script); ++i) Sleep(200);
        ASSERT_FALSE(Files().FileExists(paths.script)) << "the script did not finish";
    }
    // Runs the script; the launcher it starts comes up (shows its window)
    // unless `comesUp` is false.
    void RunScript(const SelfReplacementPaths& paths, int tries, bool comesUp = true, int cameUpTries = 20) {
        Files().RemoveFile(trace_);
        StartScript(paths, tries, cameUpTries);
        if (comesUp) {
            WaitForStart();
            ConfirmLauncherCameUp(Files(), tempFolder_);
        }
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
    // Nothing of the replacement stays but the record.
    void ExpectCleanedUp(const SelfReplacementPaths& paths) const {
        EXPECT_FALSE(Files().FileExists(paths.executable + ".new")) << "the copy beside it stays";
        EXPECT_FALSE(Files().FileExists(paths.updateFolder + kOldLauncherCopyName)) << "the old copy stays";
        EXPECT_FALSE(Files().FileExists(paths.updateFolder + kCameUpMarkerName)) << "the marker stays";
    }
    std::string Record(const SelfReplacementPaths& paths) const {
        return ReadOrAbsent(paths.updateFolder + kUpdateRecordName);
    }

    std::string work_;
    int prepared_ = 0;
    std::string trace_, tempFolder_;
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
        // Not a "%": Wine's cmd, unlike Windows', scans a variable's value
        // again for percent signs.
        {"(KLV) & co!^\\", "Kesto.exe", "temp\\", "parentheses, an ampersand, an exclamation mark, a caret"},
        {"U\xC5\xCC\\", "Kesto.exe", "\xC1\xD9\xCA\xB1\\", "code page 936 names, which cmd's code page would break"},
        // 0x95 0x5C is one character: the folder's name ends in it, not in a separator.
        {"U\x95\x5C\\", "Kesto.exe", "temp\\", "a second byte 0x5C at the end of a folder's name"},
        {"stick\\", "Kesto.exe", "Local Settings\\Temp\\", "a temporary folder with a blank"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        const SelfReplacementPaths paths = Prepare(c.stick, c.fileName, c.temp, oldLauncher_);
        // A program of the system's name beside the launcher and in the
        // update folder is never run.
        for (const std::string& folder : {paths.folder, paths.updateFolder})
            for (const char* name : {"ping.bat", "ping.cmd", "taskkill.bat"})
                Files().WriteWholeFile(folder + name, "@echo planted>\"" + trace_ + ".planted\"\r\n");
        RunScript(paths, 3);
        EXPECT_TRUE(ReadOrAbsent(paths.executable) == newLauncher_) << "not replaced: " << paths.executable;
        EXPECT_FALSE(Files().FileExists(paths.fetched)) << "the fetched file stays";
        ExpectCleanedUp(paths);
        EXPECT_EQ(Record(paths), "<absent>");
        EXPECT_EQ(ReadOrAbsent(trace_), StartedFrom(paths)) << "the new launcher was not started from its folder";
        EXPECT_FALSE(Files().FileExists(trace_ + ".planted")) << "a planted program ran";
    }
}

// The new launcher does not show its window in time: the old one is put
// back, byte for byte, started, and the release is refused.
TEST_F(SelfReplacementWin, PutsTheOldLauncherBackWhenTheNewOneDoesNotComeUp) {
    const SelfReplacementPaths paths = Prepare("my stick\\", "KLV Start.exe", "temp\\", oldLauncher_);
    RunScript(paths, 3, false, 2);
    EXPECT_TRUE(ReadOrAbsent(paths.executable) == oldLauncher_) << "the old launcher is not back";
    EXPECT_EQ(WaitForStart(), StartedFrom(paths)) << "the old launcher was not started again";
    EXPECT_EQ(Record(paths), "refused 1.0.13.0\r\n");
    ExpectCleanedUp(paths);
}

TEST_F(SelfReplacementWin, KeepsTheOldLauncherWhenTheNewOneCannotBePutInPlace) {
    struct Case {
        const char* why;
        bool folderInTheWay;  // or the fetched file is gone
    };
    const Case cases[] = {
        {"the fetched file is gone", false},
        {"a folder stands where the new launcher's copy would go", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        const SelfReplacementPaths paths = Prepare("stick\\", "Kesto.exe", "temp\\", oldLauncher_);
        const std::string beside = paths.executable + ".new";
        if (c.folderInTheWay) {
            ASSERT_TRUE(Files().CreateFolderChain(beside + "\\"));
            Files().WriteWholeFile(beside + "\\keep.txt", "mine");
        } else {
            ASSERT_TRUE(Files().RemoveFile(paths.fetched));
        }
        RunScript(paths, 2, false);
        EXPECT_TRUE(ReadOrAbsent(paths.executable) == oldLauncher_) << "the old launcher is not whole";
        // What stood in the way is left as it was.
        if (c.folderInTheWay) {
            EXPECT_EQ(ReadOrAbsent(beside + "\\keep.txt"), "mine");
        } else {
            EXPECT_FALSE(Files().FileExists(beside));
        }
        // The next run makes no offer; the one after it offers again.
        EXPECT_EQ(Record(paths), "once\r\n");
        EXPECT_EQ(WaitForStart(), StartedFrom(paths)) << "the old launcher was not started again";
    }
}

// A power loss or a kill after each line of the script: the stick holds one
// whole launcher, old or new, byte for byte, and it starts; a later run
// (the script run whole, as the next offer would) leaves the new one.
// Its own suite: the table is long, and runs under its own label.
class SelfReplacementCrashWin : public SelfReplacementWin {};

TEST_F(SelfReplacementCrashWin, ACutAfterAnyLineLeavesOneWholeLauncher) {
    const std::vector<std::string> lines = SelfReplacementScriptLines(3, 2);
    int cut = 0;
    for (std::size_t k = 1; k <= lines.size(); ++k) {
        // A cut after a label leaves what the cut before it leaves.
        if (lines[k - 1][0] == ':') continue;
        SCOPED_TRACE("cut after line " + std::to_string(k) + ": " + lines[k - 1]);
        ++cut;
        const SelfReplacementPaths paths = Prepare("stick\\", "KLV Start.exe", "temp\\", oldLauncher_);
        std::string text;
        for (std::size_t i = 0; i < k; ++i) text += lines[i] + "\r\n";
        Files().WriteWholeFile(paths.script, text);
        for (const auto& [name, value] : Environment(paths)) SetEnvironmentVariableA(name.c_str(), value.c_str());
        std::string command = "cmd.exe /d /c \"\"" + paths.script + "\"\"";
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        ASSERT_TRUE(CreateProcessA((platform::SystemFolder() + "cmd.exe").c_str(), &command[0], nullptr, nullptr, FALSE,
                                   CREATE_NO_WINDOW, nullptr, paths.updateFolder.c_str(), &startup, &process));
        ASSERT_EQ(WaitForSingleObject(process.hProcess, 120000), static_cast<DWORD>(WAIT_OBJECT_0));
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        // A launcher that the cut script started has ended before the next
        // steps, so that its trace is not taken for theirs.
        for (int i = 0; i < 300 && platform::IsProcessRunning(paths.fileName); ++i) Sleep(100);
        ASSERT_FALSE(platform::IsProcessRunning(paths.fileName));

        const std::string left = ReadOrAbsent(paths.executable);
        const bool isNew = left == newLauncher_;
        ASSERT_TRUE(isNew || left == oldLauncher_) << "no whole launcher on the stick";
        // It starts.
        Files().RemoveFile(trace_);
        std::string start = "\"" + paths.executable + "\"";
        STARTUPINFOA plain{};
        plain.cb = sizeof plain;
        ASSERT_TRUE(CreateProcessA(nullptr, &start[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &plain, &process));
        CloseHandle(process.hThread);
        WaitForSingleObject(process.hProcess, 30000);
        CloseHandle(process.hProcess);
        EXPECT_EQ(ReadOrAbsent(trace_).substr(0, paths.executable.size()), paths.executable) << "it does not start";
        if (isNew) continue;
        // The old one is there: a later run offers the update again, into an
        // update folder made anew, and the probe of the stick takes the copy
        // that the cut left beside the launcher.
        ConfirmLauncherCameUp(Files(), tempFolder_);
        for (const char* name : {kOldLauncherCopyName, kUpdateRecordName, kSelfReplacementScriptName})
            Files().RemoveFile(paths.updateFolder + name);
        if (!Files().DirectoryExists(paths.executable + ".new\\")) Files().RemoveFile(paths.executable + ".new");
        Files().WriteWholeFile(paths.fetched, newLauncher_);
        // A launcher that the cut script started may still be on its way.
        RunScript(paths, 30);
        EXPECT_TRUE(ReadOrAbsent(paths.executable) == newLauncher_) << "a later run did not complete the update";
        ExpectCleanedUp(paths);
    }
    for (const auto& [name, value] : Environment(Prepare("s\\", "x.exe", "t\\", "")))
        SetEnvironmentVariableA(name.c_str(), nullptr);
    std::printf("crash points: %d of %zu lines\n", cut, lines.size());
}

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
        Files().RemoveFile(trace_);
        StartScript(paths, c.tries);
        if (c.letGo) {
            Sleep(3000);
            letGo();
            WaitForStart();
            ConfirmLauncherCameUp(Files(), tempFolder_);
        }
        WaitForScript(paths);
        if (!c.letGo) letGo();
        EXPECT_TRUE(ReadOrAbsent(paths.executable) == (c.letGo ? newLauncher_ : oldBytes))
            << "the launcher on the stick is not the one expected";
        EXPECT_EQ(Files().FileExists(paths.fetched), !c.letGo) << "the fetched file goes once it is in place";
        ExpectCleanedUp(paths);
        // The test driver started with no arguments leaves no trace.
        if (c.letGo || !c.launcherRuns) {
            EXPECT_EQ(WaitForStart(), StartedFrom(paths));
        }
    }
}

}  // namespace
}  // namespace klv
