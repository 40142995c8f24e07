#include "platform/file_version.h"

namespace klv::platform {

// Version resources exist only in Windows executables; the native build has
// no launcher executable to read, so it reports "no version resource".
std::string ReadFileVersion(const std::string&) {
    return {};
}

}  // namespace klv::platform
