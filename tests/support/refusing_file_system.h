#pragma once
// Wraps a real file layer and refuses chosen deletions and renames, standing
// for what the real layer cannot produce on demand: a file that Windows will
// not delete (a running program) or will not even move.
#include <set>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace klv::test {

class RefusingFileSystem : public platform::FileSystem {
public:
    explicit RefusingFileSystem(platform::FileSystem& real) : real_(real) {}

    std::set<std::string> undeletable;  // paths (core form) RemoveFile refuses
    std::set<std::string> unmovable;    // paths RenameFile refuses to move away

    bool FileExists(const std::string& path) override { return real_.FileExists(path); }
    bool DirectoryExists(const std::string& path) override { return real_.DirectoryExists(path); }
    bool RemoveFile(const std::string& path) override {
        return undeletable.count(path) == 0 && real_.RemoveFile(path);
    }
    bool RenameFile(const std::string& from, const std::string& to) override {
        if (unmovable.count(from) != 0) return false;
        if (!real_.RenameFile(from, to)) return false;
        // The refusal belongs to the file, not the name: it follows the move.
        if (undeletable.erase(from) != 0) undeletable.insert(to);
        return true;
    }
    bool CreateFolderChain(const std::string& path) override { return real_.CreateFolderChain(path); }
    bool RemoveEmptyFolder(const std::string& path) override { return real_.RemoveEmptyFolder(path); }
    bool CopyFileOver(const std::string& from, const std::string& to) override { return real_.CopyFileOver(from, to); }
    bool SetReadOnly(const std::string& path, bool readOnly) override { return real_.SetReadOnly(path, readOnly); }
    std::vector<platform::DirectoryEntry> ListFolder(const std::string& folder) override {
        return real_.ListFolder(folder);
    }
    std::string ReadWholeFile(const std::string& path) override { return real_.ReadWholeFile(path); }
    void WriteWholeFile(const std::string& path, const std::string& content) override {
        real_.WriteWholeFile(path, content);
    }

private:
    platform::FileSystem& real_;
};

}  // namespace klv::test
