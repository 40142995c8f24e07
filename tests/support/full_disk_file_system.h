#pragma once
// Wraps a real file layer on a disk that fills up: whole-file and streamed
// writes draw on a budget of free bytes, and the write that does not fit
// fails the way the real layer fails on a full disk (its temporary file gone,
// the target untouched) with the system's text for a full disk. A streamed
// write fails in the middle, at the piece that does not fit, after the
// pieces before it went to the real temporary file. A test cannot fill the
// real disk of a shared machine on demand; everything else is the real layer.
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
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

    std::unique_ptr<platform::FileWriter> BeginWrite(const std::string& path) override {
        return std::make_unique<Writer>(*this, path, real_.BeginWrite(path));
    }

private:
    // The real writer, cut off where the budget ends.
    class Writer final : public platform::FileWriter {
    public:
        Writer(FullDiskFileSystem& disk, std::string path, std::unique_ptr<platform::FileWriter> real)
            : disk_(disk), path_(std::move(path)), real_(std::move(real)) {}
        void Write(const char* bytes, std::size_t count) override {
            if (!real_) Refuse();
            if (count > disk_.free_) {
                disk_.free_ = 0;
                disk_.refusedWrites.push_back(path_);
                real_.reset();  // the real layer removes its temporary file
                Refuse();
            }
            real_->Write(bytes, count);
            disk_.free_ -= count;
        }
        void Commit() override {
            if (!real_) Refuse();
            real_->Commit();
        }

    private:
        [[noreturn]] void Refuse() const {
            throw EFCreateError("Cannot create file \"" + path_ + "\". " + std::strerror(ENOSPC));
        }

        FullDiskFileSystem& disk_;
        std::string path_;
        std::unique_ptr<platform::FileWriter> real_;
    };

    platform::FileSystem& real_;
    std::uint64_t free_;
};

}  // namespace klv::test
