#pragma once
// Wraps a real file layer on a disk that fills up: whole-file writes draw on
// a budget of free bytes, and the write that does not fit fails the way the
// real layer fails on a full disk (its temporary file gone, the target
// untouched) with the system's text for a full disk. A test cannot fill the
// real disk of a shared machine on demand; everything else is the real layer.
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/file_system.h"

namespace klv::test {

class FullDiskFileSystem : public platform::FileSystem {
public:
    FullDiskFileSystem(platform::FileSystem& real, std::uint64_t freeBytes) : real_(real), free_(freeBytes) {}

    // Writes that failed for want of space, by path.
    std::vector<std::string> refusedWrites;
    // Bytes the disk still takes.
    std::uint64_t FreeBytes() const { return free_; }

    bool FileExists(const std::string& path) override { return real_.FileExists(path); }
    bool DirectoryExists(const std::string& path) override { return real_.DirectoryExists(path); }
    bool RemoveFile(const std::string& path) override { return real_.RemoveFile(path); }
    bool RenameFile(const std::string& from, const std::string& to) override { return real_.RenameFile(from, to); }
    bool CreateFolderChain(const std::string& path) override { return real_.CreateFolderChain(path); }
    bool RemoveEmptyFolder(const std::string& path) override { return real_.RemoveEmptyFolder(path); }
    bool CopyFileOver(const std::string& from, const std::string& to) override { return real_.CopyFileOver(from, to); }
    bool SetReadOnly(const std::string& path, bool readOnly) override { return real_.SetReadOnly(path, readOnly); }
    std::vector<platform::DirectoryEntry> ListFolder(const std::string& folder) override {
        return real_.ListFolder(folder);
    }
    std::string ReadWholeFile(const std::string& path) override { return real_.ReadWholeFile(path); }
    void WriteWholeFile(const std::string& path, const std::string& content) override {
        if (content.size() > free_) {
            // A full disk stops the write part-way; the real layer then
            // removes its temporary file and reports the failure, the target
            // as it was. That outcome is what is reproduced here.
            free_ = 0;
            refusedWrites.push_back(path);
            throw EFCreateError("Cannot create file \"" + path + "\". " + std::strerror(ENOSPC));
        }
        real_.WriteWholeFile(path, content);
        free_ -= content.size();
    }

private:
    platform::FileSystem& real_;
    std::uint64_t free_;
};

}  // namespace klv::test
