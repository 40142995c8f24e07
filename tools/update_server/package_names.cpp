#include "package_names.h"

#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

#include "package/name_rule.h"

namespace klv::update_server {
namespace {

std::optional<std::string> RealPathOf(const std::string& path) {
    char resolved[PATH_MAX];
    if (!::realpath(path.c_str(), resolved)) return std::nullopt;
    return std::string(resolved);
}

}  // namespace

std::optional<std::string> RelativePathOf(const std::string& name) {
    // The launcher's own rule decides: the server serves exactly the names
    // that a manifest may list, no fewer (a deployed manifest with a name
    // refused here would fail every synchronisation) and no more.
    if (!IsPackageFileName(name)) return std::nullopt;
    std::string relative;
    for (const std::string& part : PackageNameComponents(name)) {
        // Doubled separators and "." mean nothing on Windows.
        if (part.empty() || part == ".") continue;
        if (!relative.empty()) relative += '/';
        relative += part;
    }
    if (relative.empty()) return std::nullopt;  // the folder itself
    return relative;
}

std::optional<std::string> ResolvePackageFile(const std::string& folder, const std::string& name) {
    const auto relative = RelativePathOf(name);
    if (!relative) return std::nullopt;
    const std::string path = folder + *relative;
    // The name's own components, each looked at without following it: where
    // none is a link the file lies inside the folder by its path alone. That
    // is the usual case, and it costs one lstat per component instead of
    // resolving both paths whole at every request.
    bool linked = false;
    for (std::size_t slash = relative->find('/');; slash = relative->find('/', slash + 1)) {
        const std::string upTo = folder + relative->substr(0, slash);
        struct stat st {};
        if (::lstat(upTo.c_str(), &st) != 0) return std::nullopt;
        if (S_ISLNK(st.st_mode)) {
            linked = true;
            break;
        }
        if (slash == std::string::npos) {
            if (!S_ISREG(st.st_mode)) return std::nullopt;
            break;
        }
    }
    if (!linked) return path;
    // A link inside the package is served only when what it leads to still
    // lies inside the real folder.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    const auto realFolder = RealPathOf(folder);
    const auto realFile = RealPathOf(path);
    if (!realFolder || !realFile) return std::nullopt;
    const std::string prefix = *realFolder == "/" ? "/" : *realFolder + "/";
    if (realFile->compare(0, prefix.size(), prefix) != 0) return std::nullopt;
    return path;
}

}  // namespace klv::update_server
