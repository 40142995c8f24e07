#include "selfupdate/self_replacement.h"

#include "platform/path_text.h"
#include "platform/own_process.h"
#include "selfupdate/self_update.h"

namespace klv {
namespace {

// cmd expands "%" even between quotes; a folder such as "100% KLV" must reach
// the commands as it is. No other character of a file name is special inside
// quotes, and a name cannot hold a quote.
std::string Batch(const std::string& path) {
    std::string out;
    for (char c : path) {
        out += c;
        if (c == '%') out += '%';
    }
    return out;
}

std::string Quoted(const std::string& path) {
    return "\"" + Batch(path) + "\"";
}

}  // namespace

SelfReplacementPaths MakeSelfReplacementPaths(const std::string& executable, const std::string& fetched,
                                              const std::string& tempFolder) {
    // The folder part ends after the last "\\" or ":".
    const std::size_t end = platform::FolderEnd(executable, true);
    return SelfReplacementPaths{executable, fetched, executable.substr(0, end), executable.substr(end),
                                tempFolder + kSelfReplacementScriptName};
}

std::vector<std::string> SelfReplacementScriptLines(const SelfReplacementPaths& paths, int tries) {
    const std::string e = Quoted(paths.executable);
    const std::string n = Quoted(paths.fetched);
    // The new launcher is copied beside the old one first, and the old one
    // is copied aside as well, so that whatever the swap does, one whole
    // launcher stays on the stick or can be put back.
    const std::string beside = Quoted(paths.executable + ".new");
    const std::string old = Quoted(paths.executable + ".old");
    // A folder of either name would take the copy inside it.
    const std::string besideIsFile = "if not exist " + Quoted(paths.executable + ".new\\*");
    const std::string oldIsFile = "if not exist " + Quoted(paths.executable + ".old\\*");
    const std::string bound = "if %tries% geq " + std::to_string(tries) + " goto keep";
    const std::string pause = "ping -n 2 127.0.0.1 >nul";
    return {
        "@echo off",
        // Names with "!" must not be expanded, whatever the machine's default.
        "setlocal enableextensions disabledelayedexpansion",
        "set tries=0",
        ":copy",
        "copy /y " + n + " " + beside + " >nul 2>nul",
        "if errorlevel 1 goto copyagain",
        "copy /y " + e + " " + old + " >nul 2>nul",
        "if errorlevel 1 goto copyagain",
        besideIsFile + " " + oldIsFile + " goto swap",
        ":copyagain",
        "set /a tries+=1",
        bound,
        pause,
        "goto copy",
        // Replacing the file of a running program fails: the move is tried
        // until the launcher has exited. A try that removed the old file
        // without putting the new one in its place ends the tries, and the
        // old one is put back from its copy.
        ":swap",
        "set tries=0",
        ":replace",
        "move /y " + beside + " " + e + " >nul 2>nul",
        "if not errorlevel 1 goto done",
        "if not exist " + e + " goto keep",
        "set /a tries+=1",
        bound,
        pause,
        "goto replace",
        // Given up: the old launcher stays, or is put back by a rename, which
        // needs no room on the stick; the fetched file stays for the next run.
        // The copies go unless folders of their names were in the way.
        ":keep",
        "if not exist " + e + " " + oldIsFile + " move /y " + old + " " + e + " >nul 2>nul",
        "if exist " + e + " " + oldIsFile + " del " + old + " >nul 2>nul",
        besideIsFile + " del " + beside + " >nul 2>nul",
        "goto start",
        ":done",
        "del " + old + " >nul 2>nul",
        "del " + n,
        // From the launcher's own folder, on its own drive.
        ":start",
        "cd /d " + Quoted(paths.folder),
        "start \"\" " + Quoted(paths.fileName),
        "del " + Quoted(paths.script),
    };
}

std::string SelfReplacementScript(const SelfReplacementPaths& paths, int tries) {
    std::string text;
    for (const std::string& line : SelfReplacementScriptLines(paths, tries)) text += line + "\r\n";
    return text;
}

void WriteSelfReplacementScript(platform::FileSystem& files, const SelfReplacementPaths& paths) {
    files.WriteWholeFile(paths.script, SelfReplacementScript(paths));
}

void RunSelfReplacement(const std::string& fetchedPath) {
    const SelfReplacementPaths paths =
        MakeSelfReplacementPaths(platform::OwnExecutablePath(), fetchedPath, TempFolderPath());
    WriteSelfReplacementScript(platform::RealFileSystem(), paths);
    // The command line is the script's path as it is; the system finds a
    // path with blanks in it by trying its prefixes. Whether the script
    // starts is not examined: when it does not, the fetched file stays and
    // the next run offers it again.
    platform::StartHidden(paths.script);
}

}  // namespace klv
