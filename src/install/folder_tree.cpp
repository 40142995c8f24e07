#include "install/folder_tree.h"

#include <optional>
#include <vector>

#include "install/single_file.h"
#include "platform/path_text.h"

namespace klv {
namespace {

// "." and "..", and any entry named with a leading dot (".git", ".cfg"):
// not part of a package, neither copied nor deleted.
bool IsSkipped(const platform::DirectoryEntry& entry) { return entry.name.empty() || entry.name[0] == '.'; }

class TreeCopy {
public:
    TreeCopy(platform::FileSystem& fs, FolderCopyView& view) : fs_(fs), view_(view) {}

    bool Run(const std::string& src, const std::string& dst) {
        fs_.CreateFolderChain(dst);  // a failure shows as the first file's failed copy
        destination_ = fs_.IdentityOf(dst);
        // A folder copied onto itself has nothing to gain, and displacing each
        // target would delete the very file about to be copied.
        if (destination_ && fs_.IdentityOf(src) == destination_) return true;
        return CopyLevel(src, dst);
    }

private:
    bool CopyLevel(const std::string& src, const std::string& dst) {
        const std::optional<std::vector<platform::DirectoryEntry>> entries = fs_.TryListFolder(src);
        if (!entries) return true;  // no source: nothing to copy
        for (const platform::DirectoryEntry& entry : *entries) {
            if (IsSkipped(entry)) continue;
            if (entry.isDirectory) {
                // A link to a folder is not followed: what it points at is not
                // part of the package (a link to C:\ would copy the drive) and
                // may lead back into the tree. Nor is it recreated: a stick
                // cannot hold one.
                if (entry.isLink) continue;
                const std::string from = src + entry.name + "\\";
                // The destination inside its own source is not copied into itself.
                if (destination_ && fs_.IdentityOf(from) == destination_) continue;
                const std::string to = dst + entry.name + "\\";
                fs_.CreateFolderChain(to);
                if (!CopyLevel(from, to)) return false;
                continue;
            }
            if (!CopyOneFile(fs_, view_, src, dst, entry.name)) return false;
            // No copy is left read-only, so that the next copy or uninstall can
            // replace or delete it; hidden and the other bits stay as listed.
            if (entry.attributes & platform::kAttributeReadOnly)
                fs_.SetAttributes(dst + entry.name, entry.attributes & ~platform::kAttributeReadOnly);
        }
        return true;
    }

    platform::FileSystem& fs_;
    FolderCopyView& view_;
    std::optional<platform::FileIdentity> destination_;
};

// A link inside the tree goes as the link: what it points at is outside the
// tree and not ours. Deferred like anything else that cannot go now.
void RemoveLink(platform::FileSystem& fs, const std::string& path, bool toFolder) {
    const bool removed = toFolder ? fs.RemoveEmptyFolder(path) : fs.RemoveFile(path);
    if (!removed) fs.DeleteAtRestart(path);
}

}  // namespace

bool CopyFolderTree(platform::FileSystem& fs, FolderCopyView& view, const std::string& src,
                    const std::string& dst) {
    return TreeCopy(fs, view).Run(src, dst);
}

void DeleteFolderTree(platform::FileSystem& fs, const std::string& folder) {
    const std::optional<std::vector<platform::DirectoryEntry>> entries = fs.TryListFolder(folder);
    if (!entries) return;  // no such folder: nothing deleted, nothing deferred
    for (const platform::DirectoryEntry& entry : *entries) {
        if (IsSkipped(entry)) continue;
        const std::string path = platform::JoinPath(folder, entry.name);
        if (entry.isLink)
            RemoveLink(fs, path, entry.isDirectory);
        else if (entry.isDirectory)
            DeleteFolderTree(fs, path);
        else
            DeleteFileOrDefer(fs, path);
    }
    // Still holding a deferred file or a skipped dot entry, or in use. The
    // restart list gets the folder's own name, without a trailing backslash.
    if (!fs.RemoveEmptyFolder(folder)) fs.DeleteAtRestart(platform::WithoutTrailingSeparator(folder));
}

}  // namespace klv
