#pragma once
// The self-replacement: a running executable cannot overwrite its own file,
// so a batch script that outlives the launcher does it. The launcher writes
// the script into the temporary folder, starts it hidden and closes; the
// script puts the fetched launcher in place of the old one and starts it.
//
// The stick must never be left without a launcher that starts: the script
// copies the new file beside the old one, and the old one aside, first; then
// it moves the new file over the old one. That move is also how it waits for
// the launcher to exit, because no system replaces the file of a running
// program; a try that removed the old file without putting the new one in
// place gets the old one back from its copy. Both waits pause between tries
// and give up after about a minute: the old launcher then stays, the fetched
// file stays in the temporary folder for the next run, and the old launcher
// is started again.
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace klv {

inline constexpr char kSelfReplacementScriptName[] = "QNUp.bat";
// Tries of each wait, about a second apart: a slow exit is covered, a stick
// that was pulled out or a file that cannot be replaced is given up.
inline constexpr int kSelfReplacementTries = 60;

struct SelfReplacementPaths {
    std::string executable;  // E: the running launcher's file
    std::string fetched;     // N: the new launcher in the temporary folder
    std::string folder;      // F: E up to and including its last "\" or ":"
    std::string fileName;    // B: E after its last "\" or ":"
    std::string script;      // S: the temporary folder + "QNUp.bat"
};

// The five names for the running launcher `executable`, the fetched file and
// the temporary folder (which ends in a backslash).
SelfReplacementPaths MakeSelfReplacementPaths(const std::string& executable, const std::string& fetched,
                                              const std::string& tempFolder);

// The script's lines, without their line ends. A pure function of the paths,
// so that every line can be checked; `tries` bounds each wait.
std::vector<std::string> SelfReplacementScriptLines(const SelfReplacementPaths& paths,
                                                    int tries = kSelfReplacementTries);
// The lines, each followed by CR LF: the bytes of the script file.
std::string SelfReplacementScript(const SelfReplacementPaths& paths, int tries = kSelfReplacementTries);

// Creates the script at paths.script, replacing any file of that name.
// Raises EFCreateError when it cannot be written.
void WriteSelfReplacementScript(platform::FileSystem& files, const SelfReplacementPaths& paths);

// Writes the script for the running launcher and `fetchedPath` into the
// temporary folder and starts it hidden; does not wait for it. Raises
// EFCreateError when the script cannot be written; it is then not started.
void RunSelfReplacement(const std::string& fetchedPath);

}  // namespace klv
