#include "platform/shell_folders.h"

#include <windows.h>
#include <shlobj.h>

namespace klv::platform {

std::string ShellFolderPath(int csidl) {
    LPITEMIDLIST list = nullptr;
    // A folder the shell cannot locate gives no list; asking for the path of
    // a missing list would be the desktop's, or a crash.
    if (FAILED(SHGetSpecialFolderLocation(nullptr, csidl, &list)) || list == nullptr) return std::string();
    char path[MAX_PATH] = {};
    const BOOL found = SHGetPathFromIDListA(list, path);
    ILFree(list);
    return found ? std::string(path) : std::string();
}

}  // namespace klv::platform
