#include "package_names.h"

#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <vector>

#include "platform/codepage.h"

namespace klv::server {
namespace {

bool IsOnlyDots(const std::string& part) {
    return part.find_first_not_of('.') == std::string::npos;
}

// Splits at backslashes and slashes that are not the trail byte of a
// double-byte character; false when a byte can never be part of a name.
bool SplitName(const std::string& name, std::vector<std::string>& parts) {
    std::string part;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto byte = static_cast<unsigned char>(name[i]);
        if (platform::IsAnsiLeadByte(byte)) {
            if (i + 1 >= name.size() || name[i + 1] == '\0') return false;  // cut-off character
            part += name[i];
            part += name[++i];
            continue;
        }
        if (byte < 0x20 || byte == ':' || byte == 0x7F) return false;
        if (byte == '\\' || byte == '/') {
            parts.push_back(part);
            part.clear();
        } else {
            part += name[i];
        }
    }
    parts.push_back(part);
    return true;
}

std::optional<std::string> RealPathOf(const std::string& path) {
    char resolved[PATH_MAX];
    if (!::realpath(path.c_str(), resolved)) return std::nullopt;
    return std::string(resolved);
}

}  // namespace

std::optional<std::string> RelativePathOf(const std::string& name) {
    std::vector<std::string> parts;
    if (name.empty() || !SplitName(name, parts)) return std::nullopt;
    std::string relative;
    for (const std::string& part : parts) {
        // An empty first part is a rooted name; later ones are "a\\b" or a
        // trailing separator. Only-dot parts climb or mean nothing on Windows.
        if (part.empty() || IsOnlyDots(part)) return std::nullopt;
        if (!relative.empty()) relative += '/';
        relative += part;
    }
    return relative;
}

std::optional<std::string> ResolvePackageFile(const std::string& folder, const std::string& name) {
    const auto relative = RelativePathOf(name);
    if (!relative) return std::nullopt;
    const std::string path = folder + *relative;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    const auto realFolder = RealPathOf(folder);
    const auto realFile = RealPathOf(path);
    if (!realFolder || !realFile) return std::nullopt;
    const std::string prefix = *realFolder == "/" ? "/" : *realFolder + "/";
    if (realFile->compare(0, prefix.size(), prefix) != 0) return std::nullopt;
    return path;
}

}  // namespace klv::server
