#include "platform/file_system.h"

#include "platform/codepage.h"

namespace klv::platform {

std::string FolderOf(const std::string& path) {
    std::size_t end = 0;
    for (std::size_t i = 0; i < path.size(); ++i) {
        const auto byte = static_cast<unsigned char>(path[i]);
        if (IsAnsiLeadByte(byte) && i + 1 < path.size()) {
            ++i;  // the trail byte may be 0x5C and is not a separator
            continue;
        }
        if (byte == '\\') end = i + 1;
    }
    return path.substr(0, end);
}

bool EndsWithSeparator(const std::string& path) {
    bool separator = false;
    for (std::size_t i = 0; i < path.size(); ++i) {
        const auto byte = static_cast<unsigned char>(path[i]);
        separator = byte == '\\';
        if (IsAnsiLeadByte(byte) && i + 1 < path.size()) ++i;
    }
    return separator;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    return EndsWithSeparator(folder) ? folder + name : folder + "\\" + name;
}

std::optional<std::vector<DirectoryEntry>> FileSystem::TryListFolder(const std::string& folder) {
    if (!DirectoryExists(folder)) return std::nullopt;
    return ListFolder(folder);
}

bool FileSystem::SetAttributes(const std::string& path, std::uint32_t attributes) {
    return SetReadOnly(path, (attributes & kAttributeReadOnly) != 0);
}

bool FileSystem::DeleteAtRestart(const std::string& /*path*/) { return false; }

std::optional<FileIdentity> FileSystem::IdentityOf(const std::string& /*path*/) { return std::nullopt; }

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

std::string TemporaryNameBeside(const std::string& path) { return path + ".klv-partial"; }

}  // namespace klv::platform
