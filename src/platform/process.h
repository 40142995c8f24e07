#pragma once
// Other programs: whether one is running, and starting one without waiting
// for it. Window handles cross this header as numbers, so that it stays free
// of Windows types.
//
// Only the launcher's window code starts programs or looks for them, and that
// code is Windows-only; the starts and the snapshot are therefore implemented
// for Windows alone. The name rules beside them are portable.
#include <cstdint>
#include <string>

namespace klv::platform {

using WindowId = std::uintptr_t;

// The command line that starts `path` with no arguments. The path is given
// as it is; only a path with a space in it is quoted, since the system would
// otherwise try every shorter prefix first ("C:\Documents.exe" before
// "C:\Documents and Settings\...") and start whatever program it found there,
// with the launcher's administrator rights.
std::string ProgramCommandLine(const std::string& path);

// True when a process whose executable file name is `exeName` (SameAsciiText:
// the ASCII letters A to Z match their lower-case forms, every other byte
// only itself)
// appears in a snapshot of all processes. False when none does, when no
// snapshot can be taken, and on systems without the snapshot functions.
bool IsProcessRunning(const std::string& exeName);

// True when a top-level window of the class exists, whatever its title.
bool TopLevelWindowExists(const std::string& className);

// Opens `file` through the shell (verb "open", no working folder, shown
// normally) with `parameters` as its command-line arguments, owned by
// `owner`. Fire and forget: the outcome is neither checked nor reported.
void ShellOpen(WindowId owner, const std::string& file, const std::string& parameters);

// Starts the program at `path` with no arguments, shown normally, through
// the system's simple program start (ProgramCommandLine). Fire and forget.
void RunProgram(const std::string& path);

}  // namespace klv::platform
