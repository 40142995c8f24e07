#pragma once
// The shell's special folders (the CSIDL numbering).
#include <string>

namespace klv::platform {

// The file-system path of the special folder `csidl`, without a trailing
// backslash; empty when the shell gives none (a virtual folder such as the
// printers, or one this system does not have). The POSIX side has no shell
// and gives none.
std::string ShellFolderPath(int csidl);

}  // namespace klv::platform
