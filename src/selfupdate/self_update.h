#pragma once
// The self-update worker's decisions: is there a launcher newer than the
// running one, either already fetched into the temporary folder by an earlier
// run or offered by the update server? The thread that runs them and the
// completion on the GUI thread live with the window code; this part is
// portable and runs against the real update server in the native tests.
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

// The user's temporary folder, ending in a backslash.
std::string TempFolderPath();

// The version of the launcher file in `bytes` when it may be installed: a
// complete Windows executable for this build's machine type with a readable
// file version. Nothing for a partial download, a file for another machine,
// a DLL, or a file without a version.
std::optional<std::string> InstallableLauncherVersion(const std::string& bytes);

// The worker's body for the running launcher's version, with the temporary
// folder `tempFolder`:
//   - a launcher already at tempFolder + "Kesto.exe" whose version comes
//     after the running one's (VersionIsLater) decides alone, without asking
//     the server: UpdateAvailable;
//   - a file there that may not be installed, or is not later, is removed
//     and fetched anew;
//   - otherwise the server is asked (CheckFileUp) and only on "OK" the file is
//     fetched (GetAFile); a fetched file that may not be installed, or that is
//     not later than the running launcher after all, is removed.
// Raises what the version comparison and the download raise (a malformed
// version, a damaged body, a file that cannot be written); UpdateAvailable is
// then false.
void SelfUpdateBody(const std::string& runningVersion, const std::string& tempFolder, platform::FileSystem& files);

}  // namespace klv
