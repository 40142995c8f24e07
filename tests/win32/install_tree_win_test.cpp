// The folder-tree operations on the real Windows file layer under Wine: real
// read-only, hidden and system attributes, files held open by another handle,
// and deletions deferred into the system's restart list.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "install/folder_tree.h"
#include "install/single_file.h"
#include "platform/codepage.h"
#include "platform/file_system.h"
#include "platform/path_text.h"
#include "support/recording_copy_view.h"

namespace klv {
namespace {

using platform::RealFileSystem;

using test::RecordingCopyView;

// A fresh folder under the temporary folder, ending with a backslash.
std::string NewFolder(const char* tag) {
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    static int serial = 0;
    const std::string folder = std::string(temp) + "klv-tree-" + tag + "-" + std::to_string(GetCurrentProcessId()) +
                               "-" + std::to_string(++serial) + "\\";
    EXPECT_TRUE(RealFileSystem().CreateFolderChain(folder));
    return folder;
}

void Write(const std::string& path, const std::string& content, DWORD attributes = 0) {
    RealFileSystem().CreateFolderChain(platform::FolderOf(path));
    RealFileSystem().WriteWholeFile(path, content);
    if (attributes != 0) {
        ASSERT_TRUE(SetFileAttributesA(path.c_str(), attributes)) << path;
    }
}

DWORD Attributes(const std::string& path) {
    return GetFileAttributesA(path.c_str());
}

// A handle that keeps a file in use: without FILE_SHARE_DELETE nobody can
// delete it while the handle is open, as with a running program.
class InUse {
public:
    explicit InUse(const std::string& path)
        : handle_(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr)) {}
    ~InUse() {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }
    InUse(const InUse&) = delete;
    InUse& operator=(const InUse&) = delete;
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_;
};

constexpr char kSessionManager[] = "System\\CurrentControlSet\\Control\\Session Manager";
constexpr char kPending[] = "PendingFileRenameOperations";

// The paths the restart list holds, in order (each entry is a pair: the
// path and the new name, empty for a deletion).
std::vector<std::string> PendingDeletions() {
    HKEY key;
    std::vector<std::string> out;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_READ, &key) != ERROR_SUCCESS) return out;
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(key, kPending, nullptr, &type, nullptr, &size) == ERROR_SUCCESS && type == REG_MULTI_SZ) {
        std::string data(size, '\0');
        RegQueryValueExA(key, kPending, nullptr, &type, reinterpret_cast<BYTE*>(&data[0]), &size);
        std::vector<std::string> strings;
        for (std::size_t start = 0; start < size;) {
            const std::size_t end = data.find('\0', start);
            strings.push_back(data.substr(start, end - start));
            start = end == std::string::npos ? size : end + 1;
        }
        for (std::size_t i = 0; i + 1 < strings.size(); i += 2)
            if (strings[i + 1].empty()) out.push_back(strings[i]);
    }
    RegCloseKey(key);
    return out;
}

// Where `path` stands in the restart list (compared as the system records
// it, "\??\" + the full path, without regard to case), or -1.
int PendingIndexOf(const std::vector<std::string>& pending, std::string path) {
    while (path.size() > 3 && path.back() == '\\') path.pop_back();
    for (std::size_t i = 0; i < pending.size(); ++i)
        if (platform::AnsiSameText(pending[i], "\\??\\" + path)) return static_cast<int>(i);
    return -1;
}

TEST(CopyFolderTree, KeepsHiddenAndSystemButNeverReadOnly) {
    const std::string src = NewFolder("src"), dst = NewFolder("dst");
    Write(src + "hidden-ro.dll", "h", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);
    Write(src + "sub\\system-ro.dll", "s", FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY);
    Write(src + "sub\\hidden.dll", "p", FILE_ATTRIBUTE_HIDDEN);
    RecordingCopyView view;
    ASSERT_TRUE(CopyFolderTree(RealFileSystem(), view, src, dst));
    EXPECT_TRUE(view.boxes.empty());
    // The walk saw the hidden and system entries, and copied them as such.
    const DWORD a = Attributes(dst + "hidden-ro.dll");
    ASSERT_NE(a, INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(a & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY), DWORD(FILE_ATTRIBUTE_HIDDEN));
    const DWORD s = Attributes(dst + "sub\\system-ro.dll");
    ASSERT_NE(s, INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(s & (FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY), DWORD(FILE_ATTRIBUTE_SYSTEM));
    // A copy of a file that was not read-only keeps what the system copy gave it.
    EXPECT_NE(Attributes(dst + "sub\\hidden.dll") & FILE_ATTRIBUTE_HIDDEN, 0u);
    // The sources keep theirs.
    EXPECT_NE(Attributes(src + "hidden-ro.dll") & FILE_ATTRIBUTE_READONLY, 0u);
    // A second copy replaces the copies without displacing them.
    ASSERT_TRUE(CopyFolderTree(RealFileSystem(), view, src, dst));
    EXPECT_FALSE(RealFileSystem().FileExists(dst + "hidden-ro.dll.old0"));
    DeleteFolderTree(RealFileSystem(), src);
    DeleteFolderTree(RealFileSystem(), dst);
}

TEST(DisplaceExisting, MovesARealReadOnlyFileToTheFirstFreeOldName) {
    const std::string dir = NewFolder("displace");
    Write(dir + "KLVCtrl.exe", "old", FILE_ATTRIBUTE_READONLY);
    Write(dir + "KLVCtrl.exe.old0", "older", FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(DisplaceExisting(RealFileSystem(), dir + "KLVCtrl.exe"));
    EXPECT_FALSE(RealFileSystem().FileExists(dir + "KLVCtrl.exe"));
    EXPECT_EQ(RealFileSystem().ReadWholeFile(dir + "KLVCtrl.exe.old0"), "older");
    EXPECT_EQ(RealFileSystem().ReadWholeFile(dir + "KLVCtrl.exe.old1"), "old");
    SetFileAttributesA((dir + "KLVCtrl.exe.old0").c_str(), FILE_ATTRIBUTE_NORMAL);
    SetFileAttributesA((dir + "KLVCtrl.exe.old1").c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFolderTree(RealFileSystem(), dir);
}

TEST(DeleteFolderTree, DeletesHiddenSystemAndReadOnlyFilesNow) {
    const std::string dir = NewFolder("attrs");
    Write(dir + "h.dll", "h", FILE_ATTRIBUTE_HIDDEN);
    Write(dir + "sub\\s.dll", "s", FILE_ATTRIBUTE_SYSTEM);
    Write(dir + "sub\\r.dll", "r", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    const std::vector<std::string> before = PendingDeletions();
    DeleteFolderTree(RealFileSystem(), dir);
    EXPECT_FALSE(RealFileSystem().DirectoryExists(dir));
    EXPECT_EQ(PendingIndexOf(PendingDeletions(), dir), -1);
    EXPECT_EQ(PendingDeletions().size(), before.size());
}

TEST(DeleteFolderTree, RecordsWhatIsInUseInTheRestartList) {
    const std::string dir = NewFolder("in-use");
    Write(dir + "bin\\KLVCtrl.exe", "running");
    Write(dir + "bin\\readme.txt", "r");
    Write(dir + "a.dll", "a");
    {
        InUse running(dir + "bin\\KLVCtrl.exe");
        ASSERT_TRUE(running.valid());
        DeleteFolderTree(RealFileSystem(), dir);
        EXPECT_TRUE(RealFileSystem().FileExists(dir + "bin\\KLVCtrl.exe"));
    }
    EXPECT_FALSE(RealFileSystem().FileExists(dir + "bin\\readme.txt"));
    EXPECT_FALSE(RealFileSystem().FileExists(dir + "a.dll"));
    // The file first, then its folders from the inside out: the order in
    // which the restart can delete them.
    const std::vector<std::string> pending = PendingDeletions();
    const int file = PendingIndexOf(pending, dir + "bin\\KLVCtrl.exe");
    const int bin = PendingIndexOf(pending, dir + "bin");
    const int top = PendingIndexOf(pending, dir);
    ASSERT_GE(file, 0);
    EXPECT_GT(bin, file);
    EXPECT_GT(top, bin);
    DeleteFolderTree(RealFileSystem(), dir);  // no longer in use
    EXPECT_FALSE(RealFileSystem().DirectoryExists(dir));
}

TEST(DeleteFolderTree, JoinsADoubleByteNameWhoseTrailByteIsABackslash) {
    // 0x81 0x5C is one character in code page 936: the folder path below does
    // not end with a separator although its last byte is 0x5C.
    const std::string parent = NewFolder("dbcs");
    const std::string folder = parent + "\x81\x5C";
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    Write(folder + "\\a.dll", "a");
    ASSERT_TRUE(RealFileSystem().FileExists(folder + "\\a.dll"));
    const std::size_t pendingBefore = PendingDeletions().size();
    DeleteFolderTree(RealFileSystem(), folder);
    EXPECT_FALSE(RealFileSystem().DirectoryExists(folder));
    EXPECT_EQ(PendingDeletions().size(), pendingBefore);
    DeleteFolderTree(RealFileSystem(), parent);
}

TEST(FileIdentity, IsTheSameForEveryNameOfAFolder) {
    platform::FileSystem& fs = RealFileSystem();
    const auto windows = fs.IdentityOf("C:\\windows");
    ASSERT_TRUE(windows.has_value());
    EXPECT_EQ(fs.IdentityOf("c:\\WINDOWS\\"), windows);
    EXPECT_NE(fs.IdentityOf("C:\\windows\\system32"), windows);
    char shortName[MAX_PATH] = {};
    ASSERT_GT(GetShortPathNameA("C:\\Program Files", shortName, MAX_PATH), 0u);
    EXPECT_EQ(fs.IdentityOf(shortName), fs.IdentityOf("C:\\Program Files"));
    EXPECT_FALSE(fs.IdentityOf("C:\\no-such-folder").has_value());
}

}  // namespace
}  // namespace klv
