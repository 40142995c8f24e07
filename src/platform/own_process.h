#pragma once
// What the running launcher asks of the system about itself: its own file
// (the version line, the stick's folder, the self-update), the user's
// temporary folder, the system folder, and a hidden start of the replacement
// script.
#include <string>
#include <utility>
#include <vector>

namespace klv::platform {

// The user's temporary folder (GetTempPathA), 8-bit text ending in a
// backslash, whatever its length; empty when the system names none.
std::string TemporaryFolder();

// The full path of the running program's executable file (the module file
// name of the process).
std::string OwnExecutablePath();

// The system folder (GetSystemDirectoryA), ending in a backslash; empty when
// the system names none. The replacement script calls the system's own
// programs by their full path there, never by a bare name that cmd would
// first look for in the current folder.
std::string SystemFolder();

using EnvironmentVariables = std::vector<std::pair<std::string, std::string>>;

// Starts the batch script `script` with no window and returns at once; false
// when it could not be started. It runs in the system's cmd (by its full
// path, with the users' AutoRun commands turned off), in `workingFolder`,
// with the launcher's environment plus `variables`: the script reads every
// path from there, so that its own text is plain ASCII and no code page
// stands between the launcher and cmd. Only Windows runs batch scripts:
// elsewhere nothing is started and the result is false.
bool StartScriptHidden(const std::string& script, const std::string& workingFolder,
                       const EnvironmentVariables& variables);

}  // namespace klv::platform
