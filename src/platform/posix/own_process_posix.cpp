#include "platform/own_process.h"

#include <unistd.h>

#include <cstdlib>

namespace klv::platform {
namespace {

// The core's form of a POSIX path: backslashes for slashes.
std::string CoreForm(std::string path) {
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

}  // namespace

std::string TemporaryFolder() {
    const char* tmp = std::getenv("TMPDIR");
    std::string folder = CoreForm(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp");
    if (folder.back() != '\\') folder += '\\';
    return folder;
}

std::string OwnExecutablePath() {
    char path[4096];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path);
    return n > 0 ? CoreForm(std::string(path, static_cast<std::size_t>(n))) : std::string();
}

std::string SystemFolder() {
    return {};
}

bool StartScriptHidden(const std::string&, const std::string&, const EnvironmentVariables&) {
    return false;
}

}  // namespace klv::platform
