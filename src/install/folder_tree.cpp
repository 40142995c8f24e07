#include "install/folder_tree.h"

#include <optional>
#include <vector>

#include "install/single_file.h"
#include "package/manifest.h"
#include "platform/path_text.h"

namespace klv {
namespace {

// "." and "..", and any entry named with a leading dot (".git", ".cfg"):
// not part of a package, neither copied nor deleted.
bool IsSkipped(const platform::DirectoryEntry& entry) {
    return entry.name.empty() || entry.name[0] == '.';
}

// The last name of a folder path, for the box of a folder that is refused.
std::string LastNameOf(const std::string& folder) {
    const std::string path = platform::WithoutTrailingSeparator(folder);
    return path.substr(platform::FolderOf(path).size());
}

class TreeCopy {
public:
    TreeCopy(platform::FileSystem& fs, FolderCopyView& view) : fs_(fs), view_(view) {}

    bool Run(const std::string& src, const std::string& dst) {
        fs_.CreateFolderChain(dst);  // a failure shows as the first file's failed copy
        // Each folder is opened without following a link and held while it
        // is worked in; nothing is copied into a link or out of one.
        const platform::OpenedFolder target = fs_.OpenFolder(dst);
        if (IsUnsafeTarget(target)) return Refuse(dst);
        destination_ = fs_.IdentityOf(dst);
        // A folder copied onto itself has nothing to gain, and displacing each
        // target would delete the very file about to be copied.
        if (destination_ && fs_.IdentityOf(src) == destination_) return true;
        const platform::OpenedFolder source = fs_.OpenFolder(src);
        if (source.kind == platform::FolderKind::Missing) return true;  // no source: nothing to copy
        if (source.kind != platform::FolderKind::Folder) return Refuse(src);
        return CopyPackage(src, dst);
    }

private:
    // A target that is a link, or a file where the folder should be. A target
    // that could not be created shows as its first file's failed copy.
    static bool IsUnsafeTarget(const platform::OpenedFolder& folder) {
        return folder.kind == platform::FolderKind::Link || folder.kind == platform::FolderKind::Other;
    }
    // The one box of a failed copy, naming the folder.
    bool Refuse(const std::string& folder) {
        view_.ShowCopyFailure(CopyFailureText(LastNameOf(folder)));
        return false;
    }

    // The top level, whose manifest says whether the folder is complete:
    // the launcher starts a complete folder as it is, and never copies or
    // downloads into it again. So the copy takes the target's manifest away
    // first and brings the new one last: a copy cut short (the launcher
    // killed, the power lost, a file that would not copy) leaves a folder
    // that is not complete, instead of new files under an old manifest or
    // a new manifest over old files, either of which could look complete.
    bool CopyPackage(const std::string& src, const std::string& dst) {
        const std::optional<std::vector<platform::DirectoryEntry>> entries = fs_.TryListFolder(src);
        if (!entries) return true;  // no source: nothing to copy
        const platform::DirectoryEntry* manifest = nullptr;
        bool previousListed = false;
        for (const platform::DirectoryEntry& entry : *entries) {
            if (entry.isLink || entry.isDirectory) continue;
            if (platform::SameAsciiText(entry.name, kManifestName)) manifest = &entry;
            if (platform::SameAsciiText(entry.name, kPreviousManifestName)) previousListed = true;
        }
        // A manifest that cannot be moved out of the way now fails its own
        // copy at the end, with its box.
        if (manifest) DisplaceExisting(fs_, dst + kManifestName);
        if (!CopyEntries(src, dst, *entries, manifest)) return false;
        if (!manifest) return true;
        if (!CopyFile(src, dst, *manifest)) return false;
        // A files_o.txt in the target is what a synchronisation cut short
        // left there; with the whole package copied in it is stale, and it
        // would keep the folder from counting as complete.
        if (!previousListed) DeleteFileOrDefer(fs_, dst + kPreviousManifestName);
        return true;
    }

    bool CopyLevel(const std::string& src, const std::string& dst) {
        const std::optional<std::vector<platform::DirectoryEntry>> entries = fs_.TryListFolder(src);
        if (!entries) return true;  // no source: nothing to copy
        return CopyEntries(src, dst, *entries, nullptr);
    }

    // Every entry of a listing but `held` (the manifest, copied last).
    bool CopyEntries(const std::string& src, const std::string& dst,
                     const std::vector<platform::DirectoryEntry>& entries, const platform::DirectoryEntry* held) {
        for (const platform::DirectoryEntry& entry : entries) {
            if (IsSkipped(entry) || &entry == held) continue;
            // A link is not followed: what it points at is not part of the
            // package (a link to C:\ would copy the drive) and may lead back
            // into the tree; a file link is not copied as its target. Nor is
            // it recreated: a stick cannot hold one.
            if (entry.isLink) continue;
            if (entry.isDirectory) {
                const std::string from = src + entry.name + "\\";
                // Decided on the folder opened now, not on the listing: one
                // swapped for a link since is not walked into either.
                const platform::OpenedFolder source = fs_.OpenFolder(from);
                if (source.kind != platform::FolderKind::Folder) continue;
                // The destination inside its own source is not copied into itself.
                if (destination_ && fs_.IdentityOf(from) == destination_) continue;
                const std::string to = dst + entry.name + "\\";
                fs_.CreateFolderChain(to);
                const platform::OpenedFolder target = fs_.OpenFolder(to);
                if (IsUnsafeTarget(target)) return Refuse(to);
                if (!CopyLevel(from, to)) return false;
                continue;
            }
            if (!CopyFile(src, dst, entry)) return false;
        }
        return true;
    }

    bool CopyFile(const std::string& src, const std::string& dst, const platform::DirectoryEntry& entry) {
        const bool readOnly = (entry.attributes & platform::kAttributeReadOnly) != 0;
        // The copy of a read-only file is read-only until its attribute is
        // cleared below. A copy stopped in between (the launcher killed, the
        // power lost) leaves it so; made writable again now, it is replaced
        // like any other copy instead of being displaced to an ".old" name
        // for good.
        if (readOnly) fs_.SetReadOnly(dst + entry.name, false);
        if (!CopyOneFile(fs_, view_, src, dst, entry.name)) return false;
        // No copy is left read-only, so that the next copy or uninstall can
        // replace or delete it; hidden and the other bits stay as listed.
        if (readOnly) fs_.SetAttributes(dst + entry.name, entry.attributes & ~platform::kAttributeReadOnly);
        return true;
    }

    platform::FileSystem& fs_;
    FolderCopyView& view_;
    std::optional<platform::FileIdentity> destination_;
};

// A link inside the tree goes as the link: what it points at is outside the
// tree and not ours. A folder link that will not go as a folder is tried as
// a file (Wine removes a Unix link to a folder so). Deferred like anything
// else that cannot go now.
void RemoveLink(platform::FileSystem& fs, const std::string& path, bool toFolder) {
    const bool removed = toFolder ? fs.RemoveEmptyFolder(path) || fs.RemoveFile(path) : fs.RemoveFile(path);
    if (!removed) fs.DeleteAtRestart(path);
}

}  // namespace

bool CopyFolderTree(platform::FileSystem& fs, FolderCopyView& view, const std::string& src, const std::string& dst) {
    return TreeCopy(fs, view).Run(src, dst);
}

void DeleteFolderTree(platform::FileSystem& fs, const std::string& folder) {
    // Decided on the folder opened now, not on the listing of the folder
    // above: a folder swapped for a link since goes as the link, and what it
    // leads to is not touched. The folder is held while its content goes.
    platform::OpenedFolder opened = fs.OpenFolder(folder);
    if (opened.kind == platform::FolderKind::Link) {
        RemoveLink(fs, platform::WithoutTrailingSeparator(folder), true);
        return;
    }
    if (opened.kind != platform::FolderKind::Folder) return;  // nothing there, or a file: nothing deleted
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
    // Let go, so that the folder itself can be removed. Still holding a
    // deferred file or a skipped dot entry, or in use: the restart list gets
    // the folder's own name, without a trailing backslash.
    opened.held.reset();
    if (!fs.RemoveEmptyFolder(folder)) fs.DeleteAtRestart(platform::WithoutTrailingSeparator(folder));
}

}  // namespace klv
