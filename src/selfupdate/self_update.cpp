#include "selfupdate/self_update.h"

#include <algorithm>

#include "install/folder_tree.h"
#include "platform/error.h"
#include "platform/folder_access.h"
#include "platform/own_process.h"
#include "platform/path_text.h"
#include "selfupdate/self_replacement.h"
#include "pe/pe_image.h"
#include "protocol/update_request.h"
#include "protocol/version.h"
#include "sync/update_client.h"

namespace klv {

bool UpdateAvailable = false;
// Never destroyed: a worker still running while the process ends must not
// meet a string that the exit has already torn down.
std::string& FetchedLauncherPath = *new std::string;
std::string& FetchedLauncherVersion = *new std::string;
std::unique_ptr<platform::HeldFolder>& UpdateFolderHold = *new std::unique_ptr<platform::HeldFolder>;

std::string TempFolderPath() {
    return platform::TemporaryFolder();
}

std::optional<std::string> InstallableLauncherVersion(const std::string& bytes) {
    const auto image = ReadPeImage(bytes);
    if (!image || !image->sectionsFit || image->machine != OwnMachineType()) return std::nullopt;
    if ((image->characteristics & kImageExecutable) == 0 || (image->characteristics & kImageDll) != 0)
        return std::nullopt;
    if (image->fileVersion.empty()) return std::nullopt;
    return image->fileVersion;
}

namespace {

// The fetched file's version when it may be installed; a file that may not
// is removed, so that nothing ever installs it. False from `removed` when it
// stays because it cannot be deleted.
std::optional<std::string> CheckFetchedFile(platform::FileSystem& files, const std::string& path, bool& removed,
                                            std::string& bytes) {
    bytes = files.ReadWholeFile(path);
    auto version = InstallableLauncherVersion(bytes);
    removed = !version && files.RemoveFile(path);
    return version;
}

// What the last replacement left in the update folder.
struct UpdateRecord {
    bool ours = false;     // the folder is there and an administrator made it
    bool onTrial = false;  // a new launcher has not yet shown its window
    bool givenUp = false;  // the replacement could not be made
    std::string refused;   // the release that did not come up, if any
};

bool IsOurUpdateFolder(platform::FileSystem& files, const std::string& folder) {
    platform::OpenedFolder opened = files.OpenFolder(folder);
    return opened.kind == platform::FolderKind::Folder && opened.held->Owner() == platform::FolderOwner::Trusted;
}

// Only a folder that an administrator made is read: anyone may make one of
// that name before the launcher does.
UpdateRecord ReadUpdateRecord(platform::FileSystem& files, const std::string& folder) {
    UpdateRecord record;
    record.ours = IsOurUpdateFolder(files, folder);
    if (!record.ours) return record;
    record.onTrial = files.FileExists(folder + kCameUpMarkerName);
    const std::string path = folder + kUpdateRecordName;
    if (!files.FileExists(path)) return record;
    std::string text;
    try {
        text = files.ReadWholeFile(path);
    } catch (const Error&) {
        return record;
    }
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) text.pop_back();
    const std::string refusedWord = "refused ";
    if (text == "once")
        record.givenUp = true;
    else if (text.compare(0, refusedWord.size(), refusedWord) == 0)
        record.refused = text.substr(refusedWord.size());
    return record;
}

// Removes whatever stands at the update folder's name; a link goes as a
// link, never with what it leads to. False when something stays.
bool RemoveUpdateFolder(platform::FileSystem& files, const std::string& folder) {
    const platform::FolderKind kind = files.OpenFolder(folder).kind;
    const std::string name = platform::WithoutTrailingSeparator(folder);
    if (kind == platform::FolderKind::Folder) DeleteFolderTree(files, folder);
    if (kind == platform::FolderKind::Link) files.RemoveEmptyFolder(folder) || files.RemoveFile(name);
    if (kind == platform::FolderKind::Other) files.RemoveFile(name);
    return files.OpenFolder(folder).kind == platform::FolderKind::Missing;
}

// Removes what a replacement leaves in our update folder, file by file: the
// script that started this launcher may still be ending in it, its working
// folder. A folder of that name that is not ours goes whole.
void ClearUpdateFolder(platform::FileSystem& files, const std::string& folder, bool ours) {
    if (!ours) {
        RemoveUpdateFolder(files, folder);
        return;
    }
    for (const char* name :
         {kFetchedLauncherName, kOldLauncherCopyName, kSelfReplacementScriptName, kUpdateRecordName, kCameUpMarkerName})
        if (files.FileExists(folder + name)) files.RemoveFile(folder + name);
}

// The update folder as the launcher needs it: ours, made for administrators
// only when it is not there.
bool PrepareUpdateFolder(platform::FileSystem& files, const std::string& folder) {
    if (IsOurUpdateFolder(files, folder)) return true;
    return RemoveUpdateFolder(files, folder) && platform::CreateAdminOnlyFolder(folder) &&
           IsOurUpdateFolder(files, folder);
}

// Whether the stick can take the replacement: the launcher's file is there
// and not read-only, and its folder takes a file as large as the larger of
// the two launchers, which the script puts beside it on the way in and, when
// the new one does not come up, on the way back. A copy left beside it by a
// replacement cut short goes with the probe.
bool StickTakesReplacement(platform::FileSystem& files, const std::string& launcher, std::size_t newSize) {
    if (launcher.empty()) return false;
    const std::size_t end = platform::FolderEnd(launcher, true);
    const std::string name = launcher.substr(end);
    const auto entries = files.TryListFolder(launcher.substr(0, end));
    if (!entries) return false;
    bool writableFile = false;
    for (const auto& entry : *entries)
        if (platform::SameAsciiText(entry.name, name)) writableFile = !entry.isDirectory && !entry.isReadOnly;
    if (!writableFile) return false;
    const std::string probe = launcher + ".new";
    try {
        const std::size_t oldSize = files.ReadWholeFile(launcher).size();
        files.WriteWholeFile(probe, std::string(std::max(newSize, oldSize), '\0'));
    } catch (const Error&) {
        return false;
    }
    return files.RemoveFile(probe);
}

}  // namespace

void SelfUpdateBody(const std::string& runningVersion, const SelfUpdatePlace& place, platform::FileSystem& files) {
    UpdateAvailable = false;
    // Without a temporary folder there is no place for a new launcher; the
    // current folder, which may be the stick itself, is not one.
    const std::string& tempFolder = place.tempFolder;
    if (tempFolder.empty()) return;
    const std::string path = tempFolder + kFetchedLauncherName;
    const std::string updateFolder = tempFolder + kUpdateFolderName;

    // The record is read once; what the last replacement left is then
    // cleared for this run (unless a new launcher is on trial: the script
    // still works with it), and only a refusal that still matters is kept.
    const UpdateRecord record = ReadUpdateRecord(files, updateFolder);
    std::string floor = runningVersion;
    if (!record.refused.empty()) {
        try {
            if (runningVersion.empty() || VersionIsLaterInReleaseOrder(record.refused, runningVersion))
                floor = record.refused;
        } catch (const EConvertError&) {
            // A record that is not a version refuses nothing.
        }
    }
    if (!record.onTrial) {
        ClearUpdateFolder(files, updateFolder, record.ours);
        if (floor != runningVersion && PrepareUpdateFolder(files, updateFolder))
            files.WriteWholeFile(updateFolder + kUpdateRecordName, "refused " + floor + "\r\n");
    }

    std::string bytes;
    std::optional<std::string> version;
    if (files.FileExists(path)) {
        bool removed = false;
        version = CheckFetchedFile(files, path, removed, bytes);
        // A later fetched launcher decides alone: the server is not asked
        // while it lies there. One that is not later (this very release, left
        // by a swap whose clean-up failed, a stale older one, one refused)
        // is never installed, and lying there it would keep the server from
        // being asked for ever: it goes, and the server is asked below.
        if (version && !VersionIsLaterInReleaseOrder(*version, floor)) {
            removed = files.RemoveFile(path);
            version.reset();
        }
        // A partial, foreign or stale file: fetched anew below, once it is gone.
        if (!version && !removed) return;
    }
    if (!version) {
        // Asked for what comes after a refused release: the server then
        // offers only a file that may be installed.
        if (!CheckFileUpdate(kFetchedLauncherName, floor)) return;
        if (!DownloadServerFile(kFetchedLauncherName, path)) return;
        bool removed = false;
        version = CheckFetchedFile(files, path, removed, bytes);
        if (!version) return;
        // A server whose manifest promises more than its file holds would
        // have the launcher replace itself by the same release at every start.
        if (!VersionIsLaterInReleaseOrder(*version, floor)) {
            files.RemoveFile(path);
            return;
        }
    }

    // A later launcher. Not offered while a replacement is on trial, in the
    // run right after one was given up, or when the stick cannot take it
    // (write-protected, full, a read-only launcher): it waits in the
    // temporary folder for a later run.
    if (record.onTrial || record.givenUp) return;
    if (!StickTakesReplacement(files, place.launcher, bytes.size())) return;
    if (!PrepareUpdateFolder(files, updateFolder)) return;
    platform::OpenedFolder held = files.OpenFolder(updateFolder);
    if (held.kind != platform::FolderKind::Folder || held.held->Owner() != platform::FolderOwner::Trusted) return;
    // The bytes read and judged are written anew into the update folder,
    // where they take its access list: a file moved there would keep the
    // temporary folder's, which its user may change.
    const std::string offered = updateFolder + kFetchedLauncherName;
    files.WriteWholeFile(offered, bytes);
    files.RemoveFile(path);
    if (place.trusted && !place.trusted(offered)) {
        files.RemoveFile(offered);
        return;
    }
    UpdateFolderHold = std::move(held.held);
    FetchedLauncherPath = offered;
    FetchedLauncherVersion = *version;
    UpdateAvailable = true;
}

void ConfirmLauncherCameUp(platform::FileSystem& files, const std::string& tempFolder) {
    if (tempFolder.empty()) return;
    // Only in a folder that an administrator made: never through a link
    // planted at its name.
    const std::string folder = tempFolder + kUpdateFolderName;
    if (!IsOurUpdateFolder(files, folder)) return;
    const std::string marker = folder + kCameUpMarkerName;
    if (files.FileExists(marker)) files.RemoveFile(marker);
}

}  // namespace klv
