#include "platform/own_process.h"

#include <windows.h>

#include <vector>

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

bool StartHidden(const std::string& commandLine) {
    return WinExec(commandLine.c_str(), SW_HIDE) > 31;
}

}  // namespace klv::platform
