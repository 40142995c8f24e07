// The companion programs as the launcher sees them, through the real system:
// the process snapshot behind the control-program test, and the two ways the
// launcher starts a program. The subjects are programs of the end-to-end
// tests: the stand-in companion programs (they record the command line and
// folder they were started with) and the driver, which can wait without a
// window. (The window half of the control-program test needs a display; the
// end-to-end tests cover it.)
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/path_text.h"
#include "platform/process.h"
#include "win32/win_test_paths.h"

namespace klv {
namespace {

platform::FileSystem& Files() {
    return platform::RealFileSystem();
}

std::string E2eProgram(const std::string& name) {
    const char* dir = std::getenv("KLV_WIN_TEST_DIR");
    return dir != nullptr ? test::WinePathOf(std::string(dir) + "/e2e/" + name) : std::string();
}
std::string Companion(const std::string& name) {
    return E2eProgram("companions/" + name);
}

// A program that keeps running without a window (this tier has no display):
// the test driver waiting for a window that never comes, under the name the
// test gives it; ended by the test when it is done with it.
class RunningProgram {
public:
    explicit RunningProgram(const std::string& path) {
        std::string commandLine = "\"" + path + "\" wait-window KlvNoSuchWindow 120000";
        STARTUPINFOA si{};
        si.cb = sizeof si;
        started_ =
            CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi_) != FALSE;
    }
    ~RunningProgram() { End(); }
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    bool started() const { return started_; }
    void End() {
        if (!started_) return;
        TerminateProcess(pi_.hProcess, 0);
        WaitForSingleObject(pi_.hProcess, 30000);
        CloseHandle(pi_.hThread);
        CloseHandle(pi_.hProcess);
        started_ = false;
    }

private:
    PROCESS_INFORMATION pi_{};
    bool started_ = false;
};

// A process shows in the snapshot under its file name once the system has
// set it up, a moment after its start: asks (bounded) until it does.
bool Listed(const std::string& name) {
    for (int i = 0; i < 500; ++i) {
        if (platform::IsProcessRunning(name)) return true;
        Sleep(20);
    }
    return false;
}

class CompanionProgramsWin : public testing::Test {
protected:
    CompanionProgramsWin() {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        work_ = std::string(temp) + "klv-env-" + std::to_string(GetCurrentProcessId()) + "-" +
                std::to_string(GetTickCount()) + "\\";
        Files().CreateFolderChain(work_);
        SetEnvironmentVariableA("KLV_COMPANION_LOG", (work_ + "starts.txt").c_str());
    }
    ~CompanionProgramsWin() override {
        SetEnvironmentVariableA("KLV_COMPANION_LOG", nullptr);
        RemoveTree(work_);
    }

    static void RemoveTree(const std::string& folder) {
        for (const auto& entry : Files().ListFolder(folder)) {
            if (entry.isDirectory)
                RemoveTree(folder + entry.name + "\\");
            else
                DeleteFileA((folder + entry.name).c_str());
        }
        RemoveDirectoryA(folder.c_str());
    }

    // A copy of a program under another name, in the work folder.
    std::string CopyOf(const std::string& program, const std::string& name) {
        const std::string path = work_ + name;
        Files().CreateFolderChain(platform::FolderOf(path));
        EXPECT_TRUE(CopyFileA(program.c_str(), path.c_str(), FALSE)) << program;
        return path;
    }

    // The starts recorded so far: "file name<TAB>command line<TAB>folder".
    std::vector<std::string> Starts() {
        const std::string path = work_ + "starts.txt";
        std::vector<std::string> lines;
        if (!Files().FileExists(path)) return lines;
        const std::string text = Files().ReadWholeFile(path);
        for (std::size_t at = 0; at < text.size();) {
            const std::size_t end = text.find("\r\n", at);
            lines.push_back(text.substr(at, end - at));
            at = end == std::string::npos ? text.size() : end + 2;
        }
        return lines;
    }
    std::vector<std::string> WaitForStarts(std::size_t count) {
        for (int i = 0; i < 1500 && Starts().size() < count; ++i) Sleep(20);
        return Starts();
    }

    static std::string CurrentFolder() {
        char folder[MAX_PATH] = {};
        GetCurrentDirectoryA(MAX_PATH, folder);
        return folder;
    }

    std::string work_;
};

TEST(SameAsciiText, IgnoresTheCaseOfAsciiLettersOnly) {
    struct Case {
        const char* a;
        const char* b;
        bool same;
    } cases[] = {
        {"KLVCtrl.exe", "KLVCtrl.exe", true},
        {"klvctrl.exe", "KLVCtrl.exe", true},       // the whole name in lower case
        {"KLVCTRL.EXE", "KLVCtrl.exe", true},       // and in upper case
        {"KLVCtrl.ex", "KLVCtrl.exe", false},       // a prefix is not the name
        {"KLVCtrl.exe.exe", "KLVCtrl.exe", false},  // nor is a longer name
        {"xKLVCtrl.exe", "KLVCtrl.exe", false},     // nor one that ends in it
        {"KLVCtrl.exe ", "KLVCtrl.exe", false},     // a trailing space counts
        {"KLV[trl.exe", "KLV{trl.exe", false},      // '[' and '{' differ by the case bit, but are no letters
        {"KLV@trl.exe", "KLV`trl.exe", false},      // nor are '@' and '`'
        {"\xC4LV.exe", "\xE4LV.exe", false},        // nor bytes of the upper half
        {"\xB0\xB2.exe", "\xB0\xB2.EXE", true},     // a double-byte name, its extension in other case
        {"", "", true},
    };
    for (const auto& c : cases) EXPECT_EQ(platform::SameAsciiText(c.a, c.b), c.same) << c.a << " / " << c.b;
}

TEST_F(CompanionProgramsWin, ThisTestProgramIsInTheSnapshotUnderAnyLetterCase) {
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string name = self;
    name = name.substr(name.find_last_of('\\') + 1);
    EXPECT_TRUE(platform::IsProcessRunning(name)) << name;
    for (char& c : name) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    EXPECT_TRUE(platform::IsProcessRunning(name)) << name;
    EXPECT_FALSE(platform::IsProcessRunning("klv-no-such-program-" + std::to_string(GetCurrentProcessId()) + ".exe"));
}

TEST_F(CompanionProgramsWin, ControlProgramFoundByItsFileNameInAnyLetterCase) {
    const std::string driver = E2eProgram("e2e_driver.exe");
    {
        RunningProgram control(CopyOf(driver, "lower\\klvctrl.exe"));
        ASSERT_TRUE(control.started());
        EXPECT_TRUE(Listed("KLVCtrl.exe"));
    }
    EXPECT_FALSE(platform::IsProcessRunning("klvctrl.exe")) << "gone once it has ended";

    // Names that only begin or end with the name are other programs.
    RunningProgram longer(CopyOf(driver, "KLVCtrl.exe.exe"));
    RunningProgram prefixed(CopyOf(driver, "xKLVCtrl.exe"));
    ASSERT_TRUE(longer.started() && prefixed.started());
    ASSERT_TRUE(Listed("KLVCtrl.exe.exe"));
    ASSERT_TRUE(Listed("XKLVCTRL.EXE"));
    EXPECT_FALSE(platform::IsProcessRunning("KLVCtrl.exe"));
}

TEST_F(CompanionProgramsWin, ShellOpenPassesTheParametersAndNoFolder) {
    const std::string program = CopyOf(Companion("KLVMan.exe"), "with space\\KLVMan.exe");
    platform::ShellOpen(0, program, "4242");
    const auto starts = WaitForStarts(1);
    ASSERT_EQ(starts.size(), 1u);
    // The program, then the parameter alone; the folder is the starter's own.
    const std::string quoted = "KLVMan.exe\t\"" + program + "\" 4242\t" + CurrentFolder();
    const std::string bare = "KLVMan.exe\t" + program + " 4242\t" + CurrentFolder();
    EXPECT_TRUE(starts[0] == quoted || starts[0] == bare) << starts[0];
}

TEST_F(CompanionProgramsWin, RunProgramStartsThePathItselfAndNoPrefixOfIt) {
    // Without a space the command line is the bare path.
    const std::string plain = CopyOf(Companion("KLVInfo.exe"), "plain\\KLVInfo.exe");
    platform::RunProgram(plain);
    auto starts = WaitForStarts(1);
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0], "KLVInfo.exe\t" + plain + "\t" + CurrentFolder());

    // With a space, a program named like the path's first word must not be
    // the one that starts.
    CopyOf(Companion("KLVMan.exe"), "my.exe");
    const std::string spaced = CopyOf(Companion("KLVInfo.exe"), "my tools\\KLVInfo.exe");
    platform::RunProgram(spaced);
    starts = WaitForStarts(2);
    ASSERT_EQ(starts.size(), 2u);
    EXPECT_EQ(starts[1], "KLVInfo.exe\t\"" + spaced + "\"\t" + CurrentFolder());
}

}  // namespace
}  // namespace klv
