#pragma once
// A file layer that lists, changes and defers nothing and counts every
// attempt to, so that an uninstall guard that failed could harm nothing on
// the machine running the test. Existence and reads come from the real layer;
// identities too, unless the test wants a layer blind to them (names only).
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace klv::test {

class UntouchableFileSystem : public platform::FileSystem {
public:
    enum class Identities { Real, Blind };
    explicit UntouchableFileSystem(Identities identities = Identities::Real) : identities_(identities) {}

    int attempts = 0;  // every listing, change or deferral asked for

    bool FileExists(const std::string& path) override { return real().FileExists(path); }
    bool DirectoryExists(const std::string& path) override { return real().DirectoryExists(path); }
    bool RemoveFile(const std::string&) override { return Refuse(); }
    bool RenameFile(const std::string&, const std::string&) override { return Refuse(); }
    bool CreateFolderChain(const std::string&) override { return Refuse(); }
    bool RemoveEmptyFolder(const std::string&) override { return Refuse(); }
    bool CopyFileOver(const std::string&, const std::string&) override { return Refuse(); }
    bool SetReadOnly(const std::string&, bool) override { return Refuse(); }
    std::vector<platform::DirectoryEntry> ListFolder(const std::string&) override {
        Refuse();
        return {};
    }
    std::optional<std::vector<platform::DirectoryEntry>> TryListFolder(const std::string&) override {
        Refuse();
        return std::nullopt;
    }
    bool SetAttributes(const std::string&, std::uint32_t) override { return Refuse(); }
    bool DeleteAtRestart(const std::string&) override { return Refuse(); }
    std::optional<platform::FileIdentity> IdentityOf(const std::string& path) override {
        if (identities_ == Identities::Blind) return std::nullopt;
        return real().IdentityOf(path);
    }
    platform::OpenedFolder OpenFolder(const std::string& path) override { return real().OpenFolder(path); }
    std::string ReadWholeFile(const std::string& path) override { return real().ReadWholeFile(path); }
    void WriteWholeFile(const std::string&, const std::string&) override { Refuse(); }

private:
    static platform::FileSystem& real() { return platform::RealFileSystem(); }
    bool Refuse() {
        ++attempts;
        return false;
    }

    Identities identities_;
};

}  // namespace klv::test
