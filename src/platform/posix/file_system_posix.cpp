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

#include "platform/codepage.h"
#include "platform/error.h"

namespace klv::platform {
namespace {

std::string ToNative(const std::string& path) {
    std::string out = path;
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (IsAnsiLeadByte(static_cast<unsigned char>(out[i])) && i + 1 < out.size()) {
            ++i;
            continue;
        }
        if (out[i] == '\\') out[i] = '/';
    }
    return out;
}

bool StatOf(const std::string& path, struct stat& st) { return ::stat(ToNative(path).c_str(), &st) == 0; }

// Read-only is the missing owner write bit. Root may write anyway, so the
// rule is checked here rather than left to the kernel.
bool IsReadOnlyFile(const std::string& native) {
    struct stat st{};
    return ::stat(native.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & S_IWUSR) == 0;
}

std::string Reason(int error) { return std::strerror(error); }

class PosixFileSystem final : public FileSystem {
public:
    bool FileExists(const std::string& path) override {
        struct stat st{};
        return StatOf(path, st) && S_ISREG(st.st_mode);
    }
    bool DirectoryExists(const std::string& path) override {
        struct stat st{};
        return StatOf(path, st) && S_ISDIR(st.st_mode);
    }
    bool RemoveFile(const std::string& path) override {
        const std::string native = ToNative(path);
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
    bool RemoveEmptyFolder(const std::string& path) override { return ::rmdir(ToNative(path).c_str()) == 0; }
    bool CopyFileOver(const std::string& from, const std::string& to) override {
        std::string content;
        try {
            content = ReadWholeFile(from);
            if (IsReadOnlyFile(ToNative(to))) return false;
            WriteWholeFile(to, content);
        } catch (const Error&) {
            return false;
        }
        struct stat st{};
        if (StatOf(from, st)) ::chmod(ToNative(to).c_str(), st.st_mode & 07777);
        return true;
    }
    bool SetReadOnly(const std::string& path, bool readOnly) override {
        struct stat st{};
        if (!StatOf(path, st)) return false;
        const mode_t mode = readOnly ? (st.st_mode & ~mode_t(S_IWUSR | S_IWGRP | S_IWOTH)) : (st.st_mode | S_IWUSR);
        return ::chmod(ToNative(path).c_str(), mode & 07777) == 0;
    }
    std::vector<DirectoryEntry> ListFolder(const std::string& folder) override {
        std::vector<DirectoryEntry> entries;
        const std::string native = ToNative(folder);
        DIR* dir = ::opendir(native.c_str());
        if (!dir) return entries;
        while (dirent* e = ::readdir(dir)) {
            const std::string name = e->d_name;
            if (name == "." || name == "..") continue;
            const std::string full = native + (native.empty() || native.back() == '/' ? "" : "/") + name;
            struct stat st{};
            if (::stat(full.c_str(), &st) != 0) continue;
            entries.push_back({name, S_ISDIR(st.st_mode), S_ISREG(st.st_mode) && (st.st_mode & S_IWUSR) == 0});
        }
        ::closedir(dir);
        return entries;
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
        const std::string native = ToNative(path);
        if (IsReadOnlyFile(native) || DirectoryExists(path))
            throw EFCreateError("Cannot create file \"" + path + "\". " + Reason(EACCES));
        const std::string temp = ToNative(TemporaryNameBeside(path));
        const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        if (fd < 0) throw EFCreateError("Cannot create file \"" + path + "\". " + Reason(errno));
        std::size_t done = 0;
        while (done < content.size()) {
            const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                const int error = errno;
                ::close(fd);
                ::unlink(temp.c_str());
                throw EFCreateError("Cannot create file \"" + path + "\". " + Reason(error));
            }
            done += static_cast<std::size_t>(n);
        }
        if (::close(fd) != 0 || ::rename(temp.c_str(), native.c_str()) != 0) {
            const int error = errno;
            ::unlink(temp.c_str());
            throw EFCreateError("Cannot create file \"" + path + "\". " + Reason(error));
        }
    }
};

}  // namespace

FileSystem& RealFileSystem() {
    static PosixFileSystem instance;
    return instance;
}

}  // namespace klv::platform
