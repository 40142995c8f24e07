// The Windows file layer: the ANSI file API, as the paths are ANSI text.
#include "platform/file_system.h"

#include <windows.h>

#include <algorithm>

#include "platform/error.h"
#include "platform/path_text.h"
#include "platform/win32/no_follow.h"
#include "platform/win32/scoped_win.h"
#include "platform/win32/win32_error.h"

namespace klv::platform {
namespace {

DWORD AttributesOf(const std::string& path) {
    return GetFileAttributesA(path.c_str());
}

[[noreturn]] void CreateFailed(const std::string& path, DWORD error) {
    throw EFCreateError("Cannot create file \"" + path + "\". " + SystemErrorText(error));
}

// A read-only target refuses to be replaced, exactly as it refuses to be
// opened for writing, and a folder is no file to replace.
bool RefusesReplacement(const std::string& path) {
    const DWORD a = AttributesOf(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) != 0;
}

// The folder that holds `path`, without its trailing backslash.
std::string ParentOf(const std::string& path) {
    return WithoutTrailingSeparator(FolderOf(path));
}

// Nothing is written into a folder reached through a link at its own name:
// whoever may change the folder holding it could point it anywhere.
bool InLinkedFolder(const std::string& path) {
    const std::string parent = ParentOf(path);
    return !parent.empty() && IsLinkByName(parent);
}

// The temporary file is made new: a name left over from an earlier run, a
// link planted there included, is removed first (DeleteFileA removes a link,
// not what it leads to), and a link that appears in the meantime makes the
// creation fail instead of being written through.
ScopedHandle CreateTemporaryFile(const std::string& path, const std::string& temp) {
    if (InLinkedFolder(path)) {
        SetLastError(ERROR_CANT_ACCESS_FILE);
        return ScopedHandle();
    }
    DeleteFileA(temp.c_str());
    return ScopedHandle(CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

class Win32FileWriter final : public FileWriter {
public:
    explicit Win32FileWriter(std::string path)
        : path_(std::move(path)), temp_(TemporaryNameBeside(path_)), file_(CreateTemporaryFile(path_, temp_)) {
        if (!file_.valid()) CreateFailed(path_, GetLastError());
    }
    ~Win32FileWriter() override { Discard(); }
    Win32FileWriter(const Win32FileWriter&) = delete;
    Win32FileWriter& operator=(const Win32FileWriter&) = delete;

    void Write(const char* bytes, std::size_t count) override {
        if (!file_.valid()) CreateFailed(path_, ERROR_INVALID_HANDLE);
        std::size_t done = 0;
        while (done < count) {
            const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(count - done, 1u << 20));
            DWORD written = 0;
            if (!WriteFile(file_.get(), bytes + done, chunk, &written, nullptr) || written == 0) Fail(GetLastError());
            done += written;
        }
    }
    void Commit() override {
        if (!file_.valid()) CreateFailed(path_, ERROR_INVALID_HANDLE);
        if (RefusesReplacement(path_)) Fail(ERROR_ACCESS_DENIED);
        file_.reset();
        if (!MoveFileExA(temp_.c_str(), path_.c_str(), MOVEFILE_REPLACE_EXISTING)) Fail(GetLastError());
        committed_ = true;
    }

private:
    [[noreturn]] void Fail(DWORD error) {
        Discard();
        CreateFailed(path_, error);
    }
    void Discard() {
        file_.reset();
        if (!committed_ && !discarded_) DeleteFileA(temp_.c_str());
        discarded_ = true;
    }

    std::string path_;
    std::string temp_;
    ScopedHandle file_;
    bool committed_ = false;
    bool discarded_ = false;
};

class Win32HeldFolder final : public HeldFolder {
public:
    explicit Win32HeldFolder(std::unique_ptr<NoFollowHandle> handle) : handle_(std::move(handle)) {}
    FolderOwner Owner() override { return OwnerOfHandle(handle_->get()); }

private:
    std::unique_ptr<NoFollowHandle> handle_;
};

class Win32FileSystem final : public FileSystem {
public:
    bool FileExists(const std::string& path) override {
        const DWORD a = AttributesOf(path);
        return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) == 0;
    }
    bool DirectoryExists(const std::string& path) override {
        const DWORD a = AttributesOf(path);
        return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
    }
    bool RemoveFile(const std::string& path) override { return DeleteFileA(path.c_str()) != FALSE; }
    bool RenameFile(const std::string& from, const std::string& to) override {
        return MoveFileA(from.c_str(), to.c_str()) != FALSE;
    }
    bool CreateFolderChain(const std::string& path) override {
        // Separators are stripped a character at a time: a double-byte
        // name's second byte may be 0x5C and is no separator.
        const std::string p = WithoutTrailingSeparator(path);
        if (p.empty()) return false;
        if (DirectoryExists(p)) return true;
        const std::string parent = FolderOf(p);
        if (!parent.empty() && parent != p && parent.size() < p.size() && !DirectoryExists(parent) &&
            !CreateFolderChain(parent))
            return false;
        return CreateDirectoryA(p.c_str(), nullptr) != FALSE || DirectoryExists(p);
    }
    bool RemoveEmptyFolder(const std::string& path) override { return RemoveDirectoryA(path.c_str()) != FALSE; }
    bool CopyFileOver(const std::string& from, const std::string& to) override {
        // A link is copied neither as what it leads to nor onto what it leads
        // to. The source stays open, sharing no delete access, until the copy
        // is done, so that its name cannot be pointed elsewhere meanwhile.
        const NoFollowHandle source(from, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE);
        if (!source.IsFile() || IsLinkByName(to) || InLinkedFolder(to)) {
            if (source.IsFile()) SetLastError(ERROR_CANT_ACCESS_FILE);
            return false;
        }
        return CopyFileA(from.c_str(), to.c_str(), FALSE) != FALSE;
    }
    bool SetReadOnly(const std::string& path, bool readOnly) override {
        // The attributes of a link's target are not the link's to change.
        if (IsLinkByName(path)) return false;
        const DWORD a = AttributesOf(path);
        if (a == INVALID_FILE_ATTRIBUTES) return false;
        const DWORD b = readOnly ? (a | FILE_ATTRIBUTE_READONLY) : (a & ~DWORD(FILE_ATTRIBUTE_READONLY));
        return SetFileAttributesA(path.c_str(), b == 0 ? FILE_ATTRIBUTE_NORMAL : b) != FALSE;
    }
    std::vector<DirectoryEntry> ListFolder(const std::string& folder) override {
        return TryListFolder(folder).value_or(std::vector<DirectoryEntry>{});
    }
    std::optional<std::vector<DirectoryEntry>> TryListFolder(const std::string& folder) override {
        // An empty path would list the working folder, "\*" the drive root;
        // it names no folder.
        if (folder.empty()) return std::nullopt;
        WIN32_FIND_DATAA data{};  // Wine leaves the tag (dwReserved0) as it found it
        const ScopedFindHandle find(FindFirstFileA(JoinPath(folder, "*").c_str(), &data));
        if (!find) return std::nullopt;
        std::vector<DirectoryEntry> entries;
        do {
            const std::string name = data.cFileName;
            if (name == "." || name == "..") continue;
            DirectoryEntry entry;
            entry.name = name;
            entry.attributes = data.dwFileAttributes;
            entry.isDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            entry.isReadOnly = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
            // Junctions and symbolic links are name surrogates; other reparse
            // points (cloud placeholders, deduplicated files) are the
            // folders and files they look like. Wine lists a Unix symbolic
            // link as a reparse point without a tag, which no real one has.
            entry.isLink = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
                           (data.dwReserved0 == 0 || IsReparseTagNameSurrogate(data.dwReserved0));
            entries.push_back(entry);
        } while (FindNextFileA(find.get(), &data));
        return entries;
    }
    bool SetAttributes(const std::string& path, std::uint32_t attributes) override {
        if (IsLinkByName(path)) return false;
        return SetFileAttributesA(path.c_str(), attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes) != FALSE;
    }
    bool DeleteAtRestart(const std::string& path) override {
        // Deferred by a name that leads where it says: not through a link.
        if (InLinkedFolder(WithoutTrailingSeparator(path))) return false;
        return MoveFileExA(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE;
    }
    std::optional<FileIdentity> IdentityOf(const std::string& path) override {
        if (path.empty()) return std::nullopt;
        // Backup semantics open folders too; no access right is needed to
        // read the identity, and every sharing mode lets a file in use be asked.
        ScopedHandle handle(CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (!handle.valid()) return std::nullopt;
        BY_HANDLE_FILE_INFORMATION info;
        if (!GetFileInformationByHandle(handle.get(), &info)) return std::nullopt;
        return FileIdentity{info.dwVolumeSerialNumber,
                            (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
    }
    OpenedFolder OpenFolder(const std::string& path) override {
        // Read access to the attributes and the owner; every sharing mode but
        // delete, so that the folder cannot be renamed or removed while held.
        auto handle = std::make_unique<NoFollowHandle>(path, READ_CONTROL | FILE_READ_ATTRIBUTES,
                                                       FILE_SHARE_READ | FILE_SHARE_WRITE);
        OpenedFolder opened;
        opened.kind = handle->Kind();
        if (opened.kind == FolderKind::Folder) opened.held = std::make_unique<Win32HeldFolder>(std::move(handle));
        return opened;
    }
    std::string ReadWholeFile(const std::string& path) override {
        ScopedHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.valid()) throw EFOpenError("Cannot open file \"" + path + "\". " + SystemErrorText(GetLastError()));
        std::string content;
        char block[65536];
        DWORD n = 0;
        for (;;) {
            if (!ReadFile(file.get(), block, sizeof block, &n, nullptr))
                throw EFOpenError("Cannot open file \"" + path + "\". " + SystemErrorText(GetLastError()));
            if (n == 0) break;
            content.append(block, n);
        }
        return content;
    }
    void WriteWholeFile(const std::string& path, const std::string& content) override {
        // Refused before a temporary file exists.
        if (RefusesReplacement(path)) CreateFailed(path, ERROR_ACCESS_DENIED);
        Win32FileWriter writer(path);
        writer.Write(content.data(), content.size());
        writer.Commit();
    }
    std::unique_ptr<FileWriter> BeginWrite(const std::string& path) override {
        return std::make_unique<Win32FileWriter>(path);
    }
};

}  // namespace

FileSystem& RealFileSystem() {
    static Win32FileSystem instance;
    return instance;
}

}  // namespace klv::platform
