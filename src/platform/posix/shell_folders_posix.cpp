#include "platform/shell_folders.h"

namespace klv::platform {

std::string ShellFolderPath(int /*csidl*/) {
    return std::string();
}

}  // namespace klv::platform
