#include "platform/file_system.h"

namespace klv::platform {

std::optional<std::vector<DirectoryEntry>> FileSystem::TryListFolder(const std::string& folder) {
    if (!DirectoryExists(folder)) return std::nullopt;
    return ListFolder(folder);
}

bool FileSystem::SetAttributes(const std::string& path, std::uint32_t attributes) {
    return SetReadOnly(path, (attributes & kAttributeReadOnly) != 0);
}

bool FileSystem::DeleteAtRestart(const std::string& /*path*/) {
    return false;
}

std::optional<FileIdentity> FileSystem::IdentityOf(const std::string& /*path*/) {
    return std::nullopt;
}

namespace {

class UnknownOwnerFolder final : public HeldFolder {
public:
    FolderOwner Owner() override { return FolderOwner::Unknown; }
};

}  // namespace

OpenedFolder FileSystem::OpenFolder(const std::string& path) {
    OpenedFolder opened;
    if (DirectoryExists(path)) {
        opened.kind = FolderKind::Folder;
        opened.held = std::make_unique<UnknownOwnerFolder>();
    } else if (FileExists(path)) {
        opened.kind = FolderKind::Other;
    }
    return opened;
}

namespace {

// BeginWrite of a layer that has only WriteWholeFile.
class GatheringWriter final : public FileWriter {
public:
    GatheringWriter(FileSystem& files, std::string path) : files_(files), path_(std::move(path)) {}
    void Write(const char* bytes, std::size_t count) override { content_.append(bytes, count); }
    void Commit() override { files_.WriteWholeFile(path_, content_); }

private:
    FileSystem& files_;
    std::string path_;
    std::string content_;
};

}  // namespace

std::unique_ptr<FileWriter> FileSystem::BeginWrite(const std::string& path) {
    return std::make_unique<GatheringWriter>(*this, path);
}

std::string MoveToFreeOldName(FileSystem& files, const std::string& path) {
    for (unsigned long long n = 0;; ++n) {
        const std::string candidate = path + ".old" + std::to_string(n);
        if (!files.FileExists(candidate) || files.RemoveFile(candidate))
            return files.RenameFile(path, candidate) ? candidate : std::string();
    }
}

std::string TemporaryNameBeside(const std::string& path) {
    return path + ".klv-partial";
}

}  // namespace klv::platform
