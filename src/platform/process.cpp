#include "platform/process.h"

namespace klv::platform {
std::string ProgramCommandLine(const std::string& path) {
    if (path.find(' ') == std::string::npos) return path;
    return "\"" + path + "\"";
}

}  // namespace klv::platform
