// The POSIX file layer. It maps backslash paths to slashes and emulates the
// Windows rules the core relies on; it runs the core natively for tests and
// for the command-line tools.
#include "platform/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/path_text.h"
#include "platform/error.h"

namespace klv::platform {
namespace {

std::string ToNative(const std::string& path) {
    return WithSlashes(path);
}

bool StatOf(const std::string& path, struct stat& st) {
    return ::stat(ToNative(path).c_str(), &st) == 0;
}

// Read-only is the missing owner write bit. Root may write anyway, so the
// rule is checked here rather than left to the kernel.
bool IsReadOnlyFile(const std::string& native) {
    struct stat st {};
    return ::stat(native.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & S_IWUSR) == 0;
}

// A symbolic link whose target is a folder (toFolder) or anything else, a
// dangling link included (!toFolder).
bool IsLinkTo(const std::string& native, bool toFolder) {
    struct stat own {};
    if (::lstat(native.c_str(), &own) != 0 || !S_ISLNK(own.st_mode)) return false;
    struct stat target {};
    const bool folder = ::stat(native.c_str(), &target) == 0 && S_ISDIR(target.st_mode);
    return folder == toFolder;
}

bool IsLinkByName(const std::string& native) {
    struct stat own {};
    return ::lstat(native.c_str(), &own) == 0 && S_ISLNK(own.st_mode);
}

// The folder holding `native`, reached through a link at its own name: the
// layer writes nothing there.
bool InLinkedFolder(const std::string& native) {
    const std::size_t slash = native.find_last_of('/');
    return slash != std::string::npos && slash > 0 && IsLinkByName(native.substr(0, slash));
}

std::string WithoutTrailingSlash(std::string native) {
    while (native.size() > 1 && native.back() == '/') native.pop_back();
    return native;
}

std::string Reason(int error) {
    return std::strerror(error);
}

[[noreturn]] void CreateFailed(const std::string& path, int error) {
    throw EFCreateError("Cannot create file \"" + path + "\". " + Reason(error));
}

// A read-only file refuses to be replaced, as on Windows, and a folder is no
// file to replace; root's rename would take either.
bool RefusesReplacement(const std::string& path) {
    const std::string native = ToNative(path);
    struct stat st {};
    return IsReadOnlyFile(native) || (::stat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode));
}

class PosixFileWriter final : public FileWriter {
public:
    explicit PosixFileWriter(std::string path) : path_(std::move(path)), temp_(ToNative(TemporaryNameBeside(path_))) {
        if (InLinkedFolder(temp_)) CreateFailed(path_, ELOOP);
        // Made new: a left-over name, a planted link included, goes first, and
        // a link appearing meanwhile fails the creation instead of being
        // written through.
        ::unlink(temp_.c_str());
        fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd_ < 0) CreateFailed(path_, errno);
    }
    ~PosixFileWriter() override { Discard(); }
    PosixFileWriter(const PosixFileWriter&) = delete;
    PosixFileWriter& operator=(const PosixFileWriter&) = delete;

    void Write(const char* bytes, std::size_t count) override {
        if (fd_ < 0) CreateFailed(path_, EBADF);
        std::size_t done = 0;
        while (done < count) {
            const ssize_t n = ::write(fd_, bytes + done, count - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) Fail(n < 0 ? errno : ENOSPC);
            done += static_cast<std::size_t>(n);
        }
    }
    void Commit() override {
        if (fd_ < 0) CreateFailed(path_, EBADF);
        if (RefusesReplacement(path_)) Fail(EACCES);
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0) Fail(errno);
        if (::rename(temp_.c_str(), ToNative(path_).c_str()) != 0) Fail(errno);
        committed_ = true;
    }

private:
    [[noreturn]] void Fail(int error) {
        Discard();
        CreateFailed(path_, error);
    }
    void Discard() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
        if (!committed_ && !discarded_) ::unlink(temp_.c_str());
        discarded_ = true;
    }

    std::string path_;
    std::string temp_;
    int fd_ = -1;
    bool committed_ = false;
    bool discarded_ = false;
};

// POSIX cannot keep a folder from being renamed while it is open; the
// descriptor still names the folder that was checked, whatever its name
// becomes. The owner is read on it.
class PosixHeldFolder final : public HeldFolder {
public:
    explicit PosixHeldFolder(int fd) : fd_(fd) {}
    ~PosixHeldFolder() override { ::close(fd_); }
    PosixHeldFolder(const PosixHeldFolder&) = delete;
    PosixHeldFolder& operator=(const PosixHeldFolder&) = delete;
    // The superuser stands for the Administrators group and SYSTEM, and the
    // process's own user for the elevated launcher that made the folder.
    FolderOwner Owner() override {
        struct stat st {};
        if (::fstat(fd_, &st) != 0) return FolderOwner::Unknown;
        return st.st_uid == 0 || st.st_uid == ::geteuid() ? FolderOwner::Trusted : FolderOwner::Foreign;
    }

private:
    int fd_;
};

class PosixFileSystem final : public FileSystem {
public:
    bool FileExists(const std::string& path) override {
        struct stat st {};
        return StatOf(path, st) && S_ISREG(st.st_mode);
    }
    bool DirectoryExists(const std::string& path) override {
        struct stat st {};
        return StatOf(path, st) && S_ISDIR(st.st_mode);
    }
    bool RemoveFile(const std::string& path) override {
        const std::string native = ToNative(path);
        // A link to a file goes as the link, even one whose target is gone,
        // as DeleteFileA removes a file symbolic link.
        if (IsLinkTo(native, false)) return ::unlink(native.c_str()) == 0;
        if (!FileExists(path) || IsReadOnlyFile(native)) return false;
        return ::unlink(native.c_str()) == 0;
    }
    bool RenameFile(const std::string& from, const std::string& to) override {
        const std::string src = ToNative(from), dst = ToNative(to);
        // link + unlink refuses an existing target, like MoveFileA.
        if (::link(src.c_str(), dst.c_str()) != 0) return false;
        if (::unlink(src.c_str()) != 0) {
            ::unlink(dst.c_str());
            return false;
        }
        return true;
    }
    bool CreateFolderChain(const std::string& path) override {
        std::string native = ToNative(path);
        while (native.size() > 1 && native.back() == '/') native.pop_back();
        if (native.empty()) return false;
        for (std::size_t i = 1; i <= native.size(); ++i) {
            if (i == native.size() || native[i] == '/') {
                const std::string part = native.substr(0, i);
                if (::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return false;
            }
        }
        return DirectoryExists(path);
    }
    bool RemoveEmptyFolder(const std::string& path) override {
        std::string native = ToNative(path);
        while (native.size() > 1 && native.back() == '/') native.pop_back();
        // RemoveDirectoryA on a junction or folder link removes the link.
        if (IsLinkTo(native, true)) return ::unlink(native.c_str()) == 0;
        return ::rmdir(native.c_str()) == 0;
    }
    bool CopyFileOver(const std::string& from, const std::string& to) override {
        // A link is copied neither as what it leads to nor onto what it leads
        // to: the source is read on a descriptor opened without following
        // one, and the copy replaces the target's name, never writes through it.
        const std::string target = ToNative(to);
        if (IsLinkByName(target) || IsReadOnlyFile(target)) return false;
        const int fd = ::open(ToNative(from).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) return false;
        std::string content;
        struct stat st {};
        bool read = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
        char block[65536];
        for (ssize_t n; read && (n = ::read(fd, block, sizeof block)) != 0;) {
            if (n < 0 && errno == EINTR) continue;
            if (n < 0)
                read = false;
            else
                content.append(block, static_cast<std::size_t>(n));
        }
        ::close(fd);
        if (!read) return false;
        try {
            WriteWholeFile(to, content);
        } catch (const Error&) {
            return false;
        }
        ::chmod(target.c_str(), st.st_mode & 07777);
        return true;
    }
    bool SetReadOnly(const std::string& path, bool readOnly) override {
        // The mode of a link's target is not the link's to change.
        if (IsLinkByName(WithoutTrailingSlash(ToNative(path)))) return false;
        struct stat st {};
        if (!StatOf(path, st)) return false;
        const mode_t mode = readOnly ? (st.st_mode & ~mode_t(S_IWUSR | S_IWGRP | S_IWOTH)) : (st.st_mode | S_IWUSR);
        return ::chmod(ToNative(path).c_str(), mode & 07777) == 0;
    }
    std::vector<DirectoryEntry> ListFolder(const std::string& folder) override {
        return TryListFolder(folder).value_or(std::vector<DirectoryEntry>{});
    }
    std::optional<std::vector<DirectoryEntry>> TryListFolder(const std::string& folder) override {
        // An empty path would list the working folder; it names no folder.
        if (folder.empty()) return std::nullopt;
        const std::string native = ToNative(folder);
        DIR* dir = ::opendir(native.c_str());
        if (!dir) return std::nullopt;
        std::vector<DirectoryEntry> entries;
        while (dirent* e = ::readdir(dir)) {
            const std::string name = e->d_name;
            if (name == "." || name == "..") continue;
            const std::string full = native + (native.back() == '/' ? "" : "/") + name;
            struct stat own {};
            if (::lstat(full.c_str(), &own) != 0) continue;
            DirectoryEntry entry;
            entry.name = name;
            entry.isLink = S_ISLNK(own.st_mode);
            struct stat target {};
            // A link carries the kind of what it points at; a dangling one is
            // listed as a file, as Windows lists a file link.
            const struct stat& st = entry.isLink && ::stat(full.c_str(), &target) == 0 ? target : own;
            entry.isDirectory = S_ISDIR(st.st_mode);
            entry.isReadOnly = S_ISREG(st.st_mode) && (st.st_mode & S_IWUSR) == 0;
            entry.attributes = entry.isDirectory ? kAttributeDirectory
                                                 : kAttributeArchive | (entry.isReadOnly ? kAttributeReadOnly : 0);
            entries.push_back(entry);
        }
        ::closedir(dir);
        return entries;
    }
    bool SetAttributes(const std::string& path, std::uint32_t attributes) override {
        // Only read-only has a POSIX meaning; SetReadOnly refuses a link.
        return SetReadOnly(path, (attributes & kAttributeReadOnly) != 0);
    }
    // There is no restart list to register with.
    bool DeleteAtRestart(const std::string& /*path*/) override { return false; }
    std::optional<FileIdentity> IdentityOf(const std::string& path) override {
        struct stat st {};
        if (path.empty() || !StatOf(path, st)) return std::nullopt;
        return FileIdentity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    }
    OpenedFolder OpenFolder(const std::string& path) override {
        const std::string native = WithoutTrailingSlash(ToNative(path));
        OpenedFolder opened;
        struct stat own {};
        if (native.empty() || ::lstat(native.c_str(), &own) != 0) {
            opened.kind = native.empty() || errno != ENOENT ? FolderKind::Other : FolderKind::Missing;
            return opened;
        }
        if (S_ISLNK(own.st_mode)) {
            opened.kind = FolderKind::Link;
            return opened;
        }
        // O_NOFOLLOW: a link put in place since the lstat fails the open.
        const int fd = ::open(native.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) {
            opened.kind = errno == ELOOP || IsLinkByName(native) ? FolderKind::Link
                          : errno == ENOENT                      ? FolderKind::Missing
                                                                 : FolderKind::Other;
            return opened;
        }
        opened.kind = FolderKind::Folder;
        opened.held = std::make_unique<PosixHeldFolder>(fd);
        return opened;
    }
    std::string ReadWholeFile(const std::string& path) override {
        FILE* f = std::fopen(ToNative(path).c_str(), "rb");
        if (!f) throw EFOpenError("Cannot open file \"" + path + "\". " + Reason(errno));
        std::string content;
        char block[65536];
        std::size_t n;
        while ((n = std::fread(block, 1, sizeof block, f)) > 0) content.append(block, n);
        const bool failed = std::ferror(f) != 0;
        std::fclose(f);
        if (failed) throw EFOpenError("Cannot open file \"" + path + "\". " + Reason(EIO));
        return content;
    }
    void WriteWholeFile(const std::string& path, const std::string& content) override {
        // Refused before a temporary file exists.
        if (RefusesReplacement(path)) CreateFailed(path, EACCES);
        PosixFileWriter writer(path);
        writer.Write(content.data(), content.size());
        writer.Commit();
    }
    std::unique_ptr<FileWriter> BeginWrite(const std::string& path) override {
        return std::make_unique<PosixFileWriter>(path);
    }
};

}  // namespace

FileSystem& RealFileSystem() {
    static PosixFileSystem instance;
    return instance;
}

}  // namespace klv::platform
