#include "platform/folder_access.h"

#include <sys/stat.h>

#include "platform/codepage.h"

namespace klv::platform {

bool GrantEveryoneAccess(const std::string& /*path*/) { return false; }

bool IsWindowsNT4() { return false; }

bool CreateFolderOpenToEveryone(const std::string& path) {
    std::string native;
    for (std::size_t i = 0; i < path.size(); ++i) {
        const bool lead = IsAnsiLeadByte(static_cast<unsigned char>(path[i])) && i + 1 < path.size();
        native += path[i] == '\\' && !lead ? '/' : path[i];
        if (lead) native += path[++i];
    }
    while (native.size() > 1 && native.back() == '/') native.pop_back();
    // mkdir never follows a link at the new name: it fails there.
    return ::mkdir(native.c_str(), 0777) == 0;
}

}  // namespace klv::platform
