#pragma once
// What the running launcher asks of the system about itself: its own file
// (the version line, the stick's folder, the self-update), the user's
// temporary folder, and a hidden start of a command (the replacement script).
#include <string>

namespace klv::platform {

// The user's temporary folder (GetTempPathA), 8-bit text ending in a
// backslash, whatever its length; empty when the system names none.
std::string TemporaryFolder();

// The full path of the running program's executable file (the module file
// name of the process).
std::string OwnExecutablePath();

// Starts `commandLine` with no window (WinExec with SW_HIDE) and returns at
// once; false when it could not be started. Only Windows runs batch
// scripts: elsewhere nothing is started and the result is false.
bool StartHidden(const std::string& commandLine);

}  // namespace klv::platform
