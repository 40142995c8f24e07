#pragma once
// The self-update worker's decisions: is there a launcher newer than the
// running one, either already fetched into the temporary folder by an earlier
// run or offered by the update server? The thread that runs them and the
// completion on the GUI thread live with the window code; this part is
// portable and runs against the real update server in the native tests.
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "package/manifest.h"
#include "platform/file_system.h"

namespace klv {

// Shared by the worker and its completion handler. The worker writes them
// before its body returns; the completion handler, which the GUI thread runs
// while the worker waits for it, reads them. The hand-over through the GUI
// thread's message queue orders the writes before the reads.
extern bool UpdateAvailable;
extern std::string& FetchedLauncherPath;
// The version of the launcher at FetchedLauncherPath when UpdateAvailable.
extern std::string& FetchedLauncherVersion;
// The update folder, held open (on Windows without delete sharing) from the
// check of the launcher in it until the process ends: the temporary folder's
// user may rename what lies in it, and must not swap the folder while the
// box is open; the script, once started, holds it as its working folder.
extern std::unique_ptr<platform::HeldFolder>& UpdateFolderHold;

// The user's temporary folder, ending in a backslash.
std::string TempFolderPath();

// The version of the launcher file in `bytes` when it may be installed: a
// complete Windows executable for this build's machine type with a readable
// file version. Nothing for a partial download, a file for another machine,
// a DLL, or a file without a version.
std::optional<std::string> InstallableLauncherVersion(const std::string& bytes);

// Where the worker looks and what it may trust.
struct SelfUpdatePlace {
    std::string tempFolder;  // the user's temporary folder, ending in a backslash
    std::string launcher;    // the running launcher's file on the stick
    // The publisher check of a file about to be offered; empty: every file
    // is trusted (a launcher that is not signed itself pins nothing).
    std::function<bool(const std::string& path)> trusted;
};

// The worker's body for the running launcher's version. A later launcher is
// one whose version comes after the running one's (VersionIsLaterInReleaseOrder), or
// after a release refused earlier, whichever is later:
//   - a launcher already at tempFolder + "Kesto.exe" that is later decides
//     alone, without asking the server; a file there that may not be
//     installed, or is not later, is removed and fetched anew;
//   - otherwise the server is asked (CheckFileUp, with that version) and
//     only on "OK" the file is fetched (GetAFile); a fetched file that may
//     not be installed, or that is not later after all, is removed;
//   - a later file is offered (UpdateAvailable) only when the stick can
//     take the replacement (its folder writable, room for the copy, the
//     launcher's file not read-only), no replacement is on trial and the
//     last one was not given up in the run before; then it is moved into
//     the update folder, made anew for administrators only, and checked
//     there: one that fails the publisher check is removed. Otherwise it
//     stays in the temporary folder for a later run.
// Raises what the version comparison and the download raise (a malformed
// version, a damaged body, a file that cannot be written); UpdateAvailable is
// then false.
void SelfUpdateBody(const std::string& runningVersion, const SelfUpdatePlace& place, platform::FileSystem& files);

// Called by a launcher once its main window is shown: a replacement that
// waits for this launcher to come up learns that it did (the marker in the
// update folder goes, and only in an update folder an administrator made).
void ConfirmLauncherCameUp(platform::FileSystem& files, const std::string& tempFolder);

}  // namespace klv
