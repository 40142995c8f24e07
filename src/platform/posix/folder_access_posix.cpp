#include "platform/folder_access.h"

#include <sys/stat.h>

#include "platform/path_text.h"

namespace klv::platform {

bool GrantEveryoneAccess(const std::string& /*path*/) {
    return false;
}

bool IsWindowsNT4() {
    return false;
}

bool CreateFolderOpenToEveryone(const std::string& path) {
    std::string native = WithSlashes(path);
    while (native.size() > 1 && native.back() == '/') native.pop_back();
    // mkdir never follows a link at the new name: it fails there.
    return ::mkdir(native.c_str(), 0777) == 0;
}

bool CreateAdminOnlyFolder(const std::string& path) {
    std::string native = WithSlashes(path);
    while (native.size() > 1 && native.back() == '/') native.pop_back();
    return ::mkdir(native.c_str(), 0700) == 0;
}

}  // namespace klv::platform
