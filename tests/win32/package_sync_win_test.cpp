// SyncPackage with the real Windows file layer under Wine, against the native
// klv-update-server on loopback. A read-only file stands for a program in
// use: Windows refuses to delete it but lets it be renamed.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "platform/file_system.h"
#include "platform/path_text.h"
#include "http/http_client.h"
#include "sync/package_sync.h"
#include "protocol/update_request.h"
#include "support/recording_sync_view.h"
#include "win32/win_test_paths.h"

namespace klv {
namespace {

platform::FileSystem& Files() {
    return platform::RealFileSystem();
}

std::string ReadFile(const std::string& path) {
    return Files().FileExists(path) ? Files().ReadWholeFile(path) : std::string("<absent>");
}

// Starts a Linux program under Wine through CreateProcess; its own lifetime
// bound (timeout) ends it even if the suite never gets to stop it.
bool StartUnix(std::string command) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return false;
    WaitForSingleObject(process.hProcess, 30000);  // hang guard for the short starter
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

class PackageSyncWin : public testing::Test {
protected:
    static void SetUpTestSuite() {
        const std::string tools = KLV_NATIVE_TOOLS_DIR;
        ASSERT_FALSE(tools.empty()) << "configure with -DKLV_NATIVE_TOOLS_DIR=<native build>/tools";
        // Wine's process ids repeat from run to run; the tick count tells runs apart.
        unixWork_ = "/tmp/klv-sync-win-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount());
        ASSERT_TRUE(Files().CreateFolderChain(test::WinePathOf(unixWork_ + "/pkg/")));
        // The shell records the PID of the server's time limit (a TERM to it
        // reaches the server) and sends the "listening on" line to a file
        // that this side can read.
        const std::string script = "timeout 300 " + tools + "/klv-update-server --port 0 " + unixWork_ + "/pkg >" +
                                   unixWork_ + "/out 2>" + unixWork_ + "/log & echo $! >" + unixWork_ + "/pid";
        ASSERT_TRUE(StartUnix("Z:\\bin\\sh -c \"" + script + "\""));
        for (int i = 0; i < 400 && port_.empty(); ++i) {
            std::ifstream in(test::WinePathOf(unixWork_ + "/out"));
            std::string line;
            if (std::getline(in, line) && line.rfind("listening on ", 0) == 0)
                port_ = line.substr(line.rfind(':') + 1);
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
        ASSERT_FALSE(port_.empty()) << "the update server did not start";
        SetServerBaseUrl("http://127.0.0.1:" + port_ + "/");
    }
    static void TearDownTestSuite() {
        std::ifstream in(test::WinePathOf(unixWork_ + "/pid"));
        std::string pid;
        if (in >> pid) StartUnix("Z:\\bin\\kill -TERM " + pid);
        StartUnix("Z:\\bin\\rm -rf " + unixWork_);
    }

    PackageSyncWin() {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        local_ = std::string(temp) + "klv-sync-" + std::to_string(GetCurrentProcessId()) + "-" +
                 std::to_string(GetTickCount()) + "\\";
    }
    ~PackageSyncWin() override { RemoveTree(local_); }

    static void Serve(const std::string& name, const std::string& content) {
        std::string path = test::WinePathOf(unixWork_ + "/pkg/") + name;
        Files().CreateFolderChain(platform::FolderOf(path));
        Files().WriteWholeFile(path, content);
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

    static std::string unixWork_;
    static std::string port_;
    std::string local_;
    HttpClient http_;
    test::RecordingSyncView view_;
    PackageSynchroniser sync_{http_, Files(), view_};
};
std::string PackageSyncWin::unixWork_;
std::string PackageSyncWin::port_;

TEST_F(PackageSyncWin, DisplacesFilesInUseAndCreatesSubFolders) {
    const std::string gbkName = "\xD6\xD0\x81\x5C.txt";  // its trail byte 0x5C is no separator
    Serve("KLVCtrl.exe", "ctrl v2");
    Serve("sub\\deep\\y.dll", "y v2");
    // The server names files by the raw request bytes, but Wine would store
    // an ANSI name as UTF-8 on the Linux side: so the Linux side renames it.
    Serve("gbk.tmp", "gbk v2");
    const std::string pkg = unixWork_ + "/pkg/";
    ASSERT_TRUE(StartUnix("Z:\\bin\\sh -c \"mv " + pkg + "gbk.tmp " + pkg + "$(printf '\\326\\320\\201\\134').txt\""));
    Serve("files.txt", "KLVCtrl.exe=1.0.0.2\r\nsub\\deep\\y.dll=1.0.0.2\r\n" + gbkName + "=1.0.0.2\r\n");

    ASSERT_TRUE(Files().CreateFolderChain(local_));
    Files().WriteWholeFile(local_ + "files.txt", "KLVCtrl.exe=1.0.0.1\r\n");
    Files().WriteWholeFile(local_ + "KLVCtrl.exe", "ctrl v1");
    ASSERT_TRUE(Files().SetReadOnly(local_ + "KLVCtrl.exe", true));
    ASSERT_FALSE(DeleteFileA((local_ + "KLVCtrl.exe").c_str()));  // the premise: Windows refuses

    ASSERT_TRUE(sync_.SyncPackage(local_, SyncProgressBar::Download)) << view_.Last("tooltip");
    EXPECT_EQ(ReadFile(local_ + "KLVCtrl.exe"), "ctrl v2");
    EXPECT_EQ(ReadFile(local_ + "KLVCtrl.exe.old"), "ctrl v1");
    EXPECT_EQ(ReadFile(local_ + "sub\\deep\\y.dll"), "y v2");
    EXPECT_EQ(ReadFile(local_ + gbkName), "gbk v2");
    EXPECT_FALSE(Files().FileExists(local_ + "files_o.txt"));
    EXPECT_EQ(view_.Texts("tooltip").back(), "正在下载：中乗.txt");

    // The new program is in use too, and ".old" is taken by the first copy:
    // the numbered name comes next.
    Serve("KLVCtrl.exe", "ctrl v3");
    Serve("files.txt", "KLVCtrl.exe=1.0.0.3\r\nsub\\deep\\y.dll=1.0.0.2\r\n");
    ASSERT_TRUE(Files().SetReadOnly(local_ + "KLVCtrl.exe", true));
    ASSERT_TRUE(sync_.SyncPackage(local_, SyncProgressBar::Backup));
    EXPECT_EQ(ReadFile(local_ + "KLVCtrl.exe"), "ctrl v3");
    EXPECT_EQ(ReadFile(local_ + "KLVCtrl.exe.old"), "ctrl v1");
    EXPECT_EQ(ReadFile(local_ + "KLVCtrl.exe.old0"), "ctrl v2");
    EXPECT_EQ(ReadFile(local_ + "files.txt"), "KLVCtrl.exe=1.0.0.3\r\nsub\\deep\\y.dll=1.0.0.2\r\n");
}

TEST_F(PackageSyncWin, AFailedFileKeepsTheOldOneAndTheManifest) {
    Serve("a.dll", "a v2");
    Serve("files.txt", "a.dll=2\r\nnot-on-server.dll=2\r\n");
    ASSERT_TRUE(Files().CreateFolderChain(local_));
    Files().WriteWholeFile(local_ + "files.txt", "a.dll=1\r\nnot-on-server.dll=1\r\n");
    Files().WriteWholeFile(local_ + "not-on-server.dll", "working");

    EXPECT_FALSE(sync_.SyncPackage(local_, SyncProgressBar::Download));
    EXPECT_EQ(ReadFile(local_ + "a.dll"), "a v2");
    EXPECT_EQ(ReadFile(local_ + "not-on-server.dll"), "working");
    EXPECT_EQ(ReadFile(local_ + "files.txt"), "a.dll=1\r\nnot-on-server.dll=1\r\n");
    EXPECT_FALSE(Files().FileExists(local_ + "files_o.txt"));
    EXPECT_EQ(view_.Last("actions"), "1");
}

}  // namespace
}  // namespace klv
