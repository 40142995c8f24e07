#pragma once
// The self-replacement: a running executable cannot overwrite its own file,
// so a batch script that outlives the launcher does it. The launcher writes
// the script into the update folder and starts it hidden and closes; the
// script puts the checked new launcher in place of the old one, starts it,
// and puts the old one back when the new one does not come up.
//
// The stick must never be left without a launcher that starts:
//   - the old launcher is copied aside into the update folder (the temporary
//     folder's room, not the stick's), the new one beside the old on the
//     stick; then the new file is moved over the old one, which is atomic and
//     is also how the script waits for the launcher to exit, because no
//     system replaces the file of a running program;
//   - the new launcher is started and has some seconds to show its main
//     window, which it tells by removing the update folder's marker
//     (ConfirmLauncherCameUp); when it does not, the old one is put back by
//     the same copy-beside-then-move, started, and that release is refused;
//   - when the copies or the move never succeed (a full or write-protected
//     stick), the old launcher stays and is started, and the launcher makes
//     no offer in the run that follows.
//
// The script itself is plain ASCII: every path reaches it through cmd's
// environment, so that no code page stands between the launcher and cmd and
// no name needs quoting rules of its own. It calls the system's programs by
// their full paths, and the update folder that holds it and the new launcher
// can be changed by administrators only.
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/own_process.h"

namespace klv {

inline constexpr char kSelfReplacementScriptName[] = "QNUp.bat";
// Below the temporary folder; made anew, for administrators only, whenever a
// new launcher is offered.
inline constexpr char kUpdateFolderName[] = "KLVUpdate\\";
// Lies in the update folder from the new launcher's start until its main
// window has been shown.
inline constexpr char kCameUpMarkerName[] = "QNUp.pending";
// What the last replacement leaves for the next run: "once" when it could
// not be made, "refused" and the version when the new launcher did not come
// up.
inline constexpr char kUpdateRecordName[] = "QNUp.record";
// The old launcher's copy, kept until the new one came up.
inline constexpr char kOldLauncherCopyName[] = "previous.exe";

// Tries of each wait, about a second apart: a slow exit is covered, a stick
// that was pulled out or a file that cannot be replaced is given up.
inline constexpr int kSelfReplacementTries = 60;
// Tries, about a second apart, for the new launcher to show its window.
inline constexpr int kCameUpTries = 25;

struct SelfReplacementPaths {
    std::string executable;    // the running launcher's file on the stick
    std::string fetched;       // the checked new launcher in the update folder
    std::string folder;        // the launcher's folder, its working folder when started
    std::string fileName;      // the launcher's file name
    std::string updateFolder;  // the update folder, ending in a backslash
    std::string script;        // updateFolder + "QNUp.bat"
    std::string systemFolder;  // the system folder, ending in a backslash
    std::string version;       // the new launcher's version (digits and dots)
};

// The names for the running launcher `executable`, the new launcher
// `fetched` in `updateFolder`, its version and the system folder.
SelfReplacementPaths MakeSelfReplacementPaths(const std::string& executable, const std::string& fetched,
                                              const std::string& updateFolder, const std::string& systemFolder,
                                              const std::string& version);

// The script's lines, without their line ends; `tries` bounds each wait
// for a file, `cameUpTries` the wait for the new launcher's window.
std::vector<std::string> SelfReplacementScriptLines(int tries = kSelfReplacementTries, int cameUpTries = kCameUpTries);
// The lines, each followed by CR LF: the bytes of the script file.
std::string SelfReplacementScript(int tries = kSelfReplacementTries, int cameUpTries = kCameUpTries);
// The variables through which the script gets its paths.
platform::EnvironmentVariables SelfReplacementEnvironment(const SelfReplacementPaths& paths);

// Writes the script for the running launcher and the new one at `fetched`
// (in the update folder below the temporary folder) and starts it hidden
// in the update folder, which it keeps as its working folder so that nobody
// can rename the folder while it runs; does not wait for it. Raises
// EFCreateError when the script cannot be written; it is then not started.
void RunSelfReplacement(const std::string& fetched, const std::string& version);

}  // namespace klv
