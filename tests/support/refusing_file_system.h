#pragma once
// Wraps a real file layer and refuses chosen deletions, renames and reads,
// standing for what the real layer cannot produce on demand: a file that
// Windows will not delete (a running program) or will not even move, a file
// that cannot be read. It also records the deferrals to the next restart,
// which no test can wait for.
#include <set>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/file_system.h"

namespace klv::test {

class RefusingFileSystem : public platform::FileSystem {
public:
    explicit RefusingFileSystem(platform::FileSystem& real) : real_(real) {}

    std::set<std::string> undeletable;  // paths (core form) RemoveFile and RemoveEmptyFolder refuse
    std::set<std::string> unmovable;    // paths RenameFile refuses to move away
    std::set<std::string> unreadable;   // paths ReadWholeFile and CopyFileOver (as source) refuse
    std::vector<std::string> deferred;  // every DeleteAtRestart, in order (passed on as well)

    bool FileExists(const std::string& path) override { return real_.FileExists(path); }
    bool DirectoryExists(const std::string& path) override { return real_.DirectoryExists(path); }
    bool RemoveFile(const std::string& path) override { return undeletable.count(path) == 0 && real_.RemoveFile(path); }
    bool RenameFile(const std::string& from, const std::string& to) override {
        if (unmovable.count(from) != 0) return false;
        if (!real_.RenameFile(from, to)) return false;
        // The refusal belongs to the file, not the name: it follows the move.
        if (undeletable.erase(from) != 0) undeletable.insert(to);
        return true;
    }
    bool CreateFolderChain(const std::string& path) override { return real_.CreateFolderChain(path); }
    bool RemoveEmptyFolder(const std::string& path) override {
        return undeletable.count(path) == 0 && real_.RemoveEmptyFolder(path);
    }
    bool CopyFileOver(const std::string& from, const std::string& to) override {
        return unreadable.count(from) == 0 && real_.CopyFileOver(from, to);
    }
    bool SetReadOnly(const std::string& path, bool readOnly) override { return real_.SetReadOnly(path, readOnly); }
    std::vector<platform::DirectoryEntry> ListFolder(const std::string& folder) override {
        return real_.ListFolder(folder);
    }
    std::optional<std::vector<platform::DirectoryEntry>> TryListFolder(const std::string& folder) override {
        return real_.TryListFolder(folder);
    }
    bool SetAttributes(const std::string& path, std::uint32_t attributes) override {
        return real_.SetAttributes(path, attributes);
    }
    bool DeleteAtRestart(const std::string& path) override {
        deferred.push_back(path);
        return real_.DeleteAtRestart(path);
    }
    std::optional<platform::FileIdentity> IdentityOf(const std::string& path) override {
        return real_.IdentityOf(path);
    }
    platform::OpenedFolder OpenFolder(const std::string& path) override { return real_.OpenFolder(path); }
    std::string ReadWholeFile(const std::string& path) override {
        if (unreadable.count(path) != 0) throw EFOpenError("Cannot open file \"" + path + "\". Access is denied");
        return real_.ReadWholeFile(path);
    }
    void WriteWholeFile(const std::string& path, const std::string& content) override {
        real_.WriteWholeFile(path, content);
    }
    std::unique_ptr<platform::FileWriter> BeginWrite(const std::string& path) override {
        return real_.BeginWrite(path);
    }

private:
    platform::FileSystem& real_;
};

}  // namespace klv::test
