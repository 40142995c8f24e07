#pragma once
// What the self-update needs of the system beyond files: the temporary
// folder, the running program's own file, and a hidden start of a command.
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
