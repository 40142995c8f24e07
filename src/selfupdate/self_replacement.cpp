#include "selfupdate/self_replacement.h"

#include "platform/path_text.h"
#include "selfupdate/self_update.h"

namespace klv {

SelfReplacementPaths MakeSelfReplacementPaths(const std::string& executable, const std::string& fetched,
                                              const std::string& updateFolder, const std::string& systemFolder,
                                              const std::string& version) {
    // The folder part ends after the last "\\" or ":".
    const std::size_t end = platform::FolderEnd(executable, true);
    return SelfReplacementPaths{executable,
                                fetched,
                                executable.substr(0, end),
                                executable.substr(end),
                                updateFolder,
                                updateFolder + kSelfReplacementScriptName,
                                systemFolder,
                                version};
}

std::vector<std::string> SelfReplacementScriptLines(int tries, int cameUpTries) {
    const std::string bound = "if %tries% geq " + std::to_string(tries) + " goto ";
    // A pause of about a second, by the system's own program: a bare name
    // would be looked for in the current folder first.
    const std::string pause = "\"%KLV_PING%\" -n 2 127.0.0.1 >nul";
    // A folder of the copy's name would take the copy inside it.
    const std::string besideIsFile = "if not exist \"%KLV_BESIDE%\\*\" ";
    return {
        "@echo off",
        // Names with "!" must not be expanded, whatever the machine's default.
        "setlocal enableextensions disabledelayedexpansion",
        "set tries=0",
        // The old launcher is copied aside (into the update folder: no room
        // on the stick) and the new one beside it, so that whatever the swap
        // does, one whole launcher stays on the stick or can be put back.
        ":copy",
        "copy /y \"%KLV_LAUNCHER%\" \"%KLV_PREVIOUS%\" >nul 2>nul",
        "if errorlevel 1 goto copyagain",
        // A folder or a junction at the copy's name would take the copy
        // wherever it leads: the update is given up instead.
        "if exist \"%KLV_BESIDE%\\*\" goto giveup",
        "copy /y \"%KLV_FETCHED%\" \"%KLV_BESIDE%\" >nul 2>nul",
        "if errorlevel 1 goto copyagain",
        besideIsFile + "goto swap",
        ":copyagain",
        "set /a tries+=1",
        bound + "giveup",
        pause,
        "goto copy",
        // Replacing the file of a running program fails: the move is tried
        // until the launcher has exited.
        ":swap",
        "set tries=0",
        ":replace",
        "move /y \"%KLV_BESIDE%\" \"%KLV_LAUNCHER%\" >nul 2>nul",
        "if not errorlevel 1 goto trial",
        "if not exist \"%KLV_LAUNCHER%\" goto giveup",
        "set /a tries+=1",
        bound + "giveup",
        pause,
        "goto replace",
        // The new launcher removes the marker once its window is shown.
        ":trial",
        "type nul >\"%KLV_PENDING%\"",
        "start \"\" /d \"%KLV_FOLDER%\" \"%KLV_LAUNCHER%\"",
        "set tries=0",
        ":wait",
        pause,
        "if not exist \"%KLV_PENDING%\" goto cameup",
        "set /a tries+=1",
        "if %tries% lss " + std::to_string(cameUpTries) + " goto wait",
        // It did not come up: it is ended if it hangs, and the old launcher
        // goes back the way the new one came, beside and then over it.
        "\"%KLV_TASKKILL%\" /f /im \"%KLV_FILENAME%\" >nul 2>nul",
        ">\"%KLV_RECORD%\" echo refused %KLV_VERSION%",
        "set tries=0",
        ":back",
        "if exist \"%KLV_BESIDE%\\*\" goto restart",
        "copy /y \"%KLV_PREVIOUS%\" \"%KLV_BESIDE%\" >nul 2>nul",
        "if errorlevel 1 goto backagain",
        "move /y \"%KLV_BESIDE%\" \"%KLV_LAUNCHER%\" >nul 2>nul",
        "if not errorlevel 1 goto restored",
        ":backagain",
        "set /a tries+=1",
        // The new launcher stays, whole; so does the old one's copy.
        bound + "restart",
        pause,
        "goto back",
        // Given up: the old launcher stays, or is put back from its copy; the
        // copy beside it goes unless a folder of its name was in the way.
        ":giveup",
        "if not exist \"%KLV_LAUNCHER%\" copy /y \"%KLV_PREVIOUS%\" \"%KLV_LAUNCHER%\" >nul 2>nul",
        besideIsFile + "del \"%KLV_BESIDE%\" >nul 2>nul",
        ">\"%KLV_RECORD%\" echo once",
        ":restored",
        "if exist \"%KLV_LAUNCHER%\" del \"%KLV_PREVIOUS%\" >nul 2>nul",
        ":restart",
        "del \"%KLV_PENDING%\" >nul 2>nul",
        "start \"\" /d \"%KLV_FOLDER%\" \"%KLV_LAUNCHER%\"",
        "goto end",
        ":cameup",
        "del \"%KLV_PREVIOUS%\" >nul 2>nul",
        "del \"%KLV_FETCHED%\" >nul 2>nul",
        // One line: cmd reads no further once the script is gone.
        ":end",
        "del \"%KLV_SCRIPT%\" >nul 2>nul & exit",
    };
}

std::string SelfReplacementScript(int tries, int cameUpTries) {
    std::string text;
    for (const std::string& line : SelfReplacementScriptLines(tries, cameUpTries)) text += line + "\r\n";
    return text;
}

namespace {

// The version stands unquoted in the script's record line: only digits and
// dots reach it.
std::string VersionText(const std::string& version) {
    std::string text;
    for (char c : version)
        if ((c >= '0' && c <= '9') || c == '.') text += c;
    return text;
}

}  // namespace

platform::EnvironmentVariables SelfReplacementEnvironment(const SelfReplacementPaths& paths) {
    // The working folder of a launcher started from the stick, as the system
    // gives it: without its last backslash, but "E:\".
    std::string folder = platform::WithoutTrailingSeparator(paths.folder);
    if (folder.size() == 2 && folder[1] == ':') folder += '\\';
    return {
        {"KLV_LAUNCHER", paths.executable},
        {"KLV_FOLDER", folder},
        {"KLV_FILENAME", paths.fileName},
        {"KLV_BESIDE", paths.executable + ".new"},
        {"KLV_FETCHED", paths.fetched},
        {"KLV_PREVIOUS", paths.updateFolder + kOldLauncherCopyName},
        {"KLV_PENDING", paths.updateFolder + kCameUpMarkerName},
        {"KLV_RECORD", paths.updateFolder + kUpdateRecordName},
        {"KLV_SCRIPT", paths.script},
        {"KLV_VERSION", VersionText(paths.version)},
        {"KLV_PING", paths.systemFolder + "ping.exe"},
        {"KLV_TASKKILL", paths.systemFolder + "taskkill.exe"},
    };
}

void RunSelfReplacement(const std::string& fetched, const std::string& version) {
    const std::string updateFolder = platform::FolderOf(fetched);
    const SelfReplacementPaths paths = MakeSelfReplacementPaths(platform::OwnExecutablePath(), fetched, updateFolder,
                                                                platform::SystemFolder(), version);
    platform::RealFileSystem().WriteWholeFile(paths.script, SelfReplacementScript());
    // Whether the script starts is not examined: when it does not, the old
    // launcher stays and the next run offers the update again.
    platform::StartScriptHidden(paths.script, updateFolder, SelfReplacementEnvironment(paths));
}

}  // namespace klv
