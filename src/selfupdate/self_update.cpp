#include "selfupdate/self_update.h"

#include "platform/own_process.h"
#include "pe/pe_image.h"
#include "server/update_protocol.h"
#include "server/version.h"

namespace klv {

bool UpdateAvailable = false;
// Never destroyed: a worker still running while the process ends must not
// meet a string that the exit has already torn down.
std::string& FetchedLauncherPath = *new std::string;

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
std::optional<std::string> CheckFetchedFile(platform::FileSystem& files, const std::string& path, bool& removed) {
    auto version = InstallableLauncherVersion(files.ReadWholeFile(path));
    removed = !version && files.RemoveFile(path);
    return version;
}

}  // namespace

void SelfUpdateBody(const std::string& runningVersion, const std::string& tempFolder, platform::FileSystem& files) {
    UpdateAvailable = false;
    // Without a temporary folder there is no place for a new launcher; the
    // current folder, which may be the stick itself, is not one.
    if (tempFolder.empty()) return;
    FetchedLauncherPath = tempFolder + kFetchedLauncherName;
    const std::string& path = FetchedLauncherPath;

    if (files.FileExists(path)) {
        bool removed = false;
        if (const auto version = CheckFetchedFile(files, path, removed)) {
            // A later fetched launcher decides alone: the server is not asked
            // while it lies there.
            if (VersionIsLater(*version, runningVersion)) {
                UpdateAvailable = true;
                return;
            }
            // One that is not later (this very release, left by a swap whose
            // clean-up failed, or a stale older one) is never installed, and
            // lying there it would keep the server from being asked for
            // ever: it goes, and the server is asked below.
            removed = files.RemoveFile(path);
        }
        // A partial, foreign or stale file: fetched anew below, once it is gone.
        if (!removed) return;
    }

    if (!CheckFileUpdate(kFetchedLauncherName, runningVersion)) return;
    if (!DownloadServerFile(kFetchedLauncherName, path)) return;
    bool removed = false;
    const auto version = CheckFetchedFile(files, path, removed);
    if (!version) return;
    // A server whose manifest promises more than its file holds would have
    // the launcher replace itself by the same release at every start.
    if (VersionIsLater(*version, runningVersion))
        UpdateAvailable = true;
    else
        files.RemoveFile(path);
}

}  // namespace klv
