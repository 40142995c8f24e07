#include "platform/own_process.h"

#include <windows.h>

#include <cstring>
#include <vector>

#include "platform/path_text.h"
#include "platform/win32/scoped_win.h"

namespace klv::platform {

std::string TemporaryFolder() {
    // The size the system asks for includes the terminating NUL; a folder
    // longer than the usual buffer is read again with the room it needs.
    std::vector<char> buffer(MAX_PATH + 1);
    for (int attempt = 0; attempt < 3; ++attempt) {
        const DWORD n = GetTempPathA(static_cast<DWORD>(buffer.size()), buffer.data());
        if (n == 0) return {};
        if (n < buffer.size()) return std::string(buffer.data(), n);
        buffer.resize(n + 1);
    }
    return {};
}

std::string OwnExecutablePath() {
    std::vector<char> buffer(MAX_PATH + 1);
    for (;;) {
        const DWORD n = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return {};
        // A full buffer means the name was cut: try again with more room.
        if (n < buffer.size() - 1) return std::string(buffer.data(), n);
        if (buffer.size() > 32768) return std::string(buffer.data(), n);
        buffer.resize(buffer.size() * 2);
    }
}

std::string SystemFolder() {
    char buffer[MAX_PATH + 1];
    const UINT n = GetSystemDirectoryA(buffer, sizeof buffer);
    if (n == 0 || n >= sizeof buffer) return {};
    std::string folder(buffer, n);
    if (!EndsWithSeparator(folder)) folder += '\\';
    return folder;
}

namespace {

// The launcher's environment with `variables` set: the block CreateProcessA
// takes, each "name=value" ended by a NUL, the whole ended by one more. A
// variable of the same name that the launcher inherited is left out.
std::string EnvironmentBlock(const EnvironmentVariables& variables) {
    std::string block;
    if (char* inherited = GetEnvironmentStringsA()) {
        for (const char* entry = inherited; *entry != '\0'; entry += std::strlen(entry) + 1) {
            const std::string text(entry);
            bool replaced = false;
            for (const auto& [name, value] : variables)
                replaced = replaced || SameAsciiText(text.substr(0, text.find('=', 1)), name);
            if (!replaced) block += text + '\0';
        }
        FreeEnvironmentStringsA(inherited);
    }
    for (const auto& [name, value] : variables) block += name + "=" + value + '\0';
    block += '\0';
    return block;
}

}  // namespace

bool StartScriptHidden(const std::string& script, const std::string& workingFolder,
                       const EnvironmentVariables& variables) {
    const std::string system = SystemFolder();
    if (system.empty()) return false;
    const std::string cmd = system + "cmd.exe";
    // /d: no AutoRun command from the registry, which the user may set and
    // an elevated cmd would run. cmd drops the outer pair of quotes after /c,
    // whatever the path holds.
    std::string commandLine = "cmd.exe /d /c \"\"" + script + "\"\"";
    std::string environment = EnvironmentBlock(variables);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(cmd.c_str(), &commandLine[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, &environment[0],
                        workingFolder.empty() ? nullptr : WithoutTrailingSeparator(workingFolder).c_str(), &startup,
                        &process))
        return false;
    // The script is not waited for: it outlives the launcher it replaces.
    const ScopedHandle thread(process.hThread), started(process.hProcess);
    return true;
}

}  // namespace klv::platform
