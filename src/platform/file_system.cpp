#include "platform/file_system.h"

#include "platform/codepage.h"

namespace klv::platform {

std::string FolderOf(const std::string& path) {
    std::size_t end = 0;
    for (std::size_t i = 0; i < path.size(); ++i) {
        const auto byte = static_cast<unsigned char>(path[i]);
        if (IsAnsiLeadByte(byte) && i + 1 < path.size()) {
            ++i;  // the trail byte may be 0x5C and is not a separator
            continue;
        }
        if (byte == '\\') end = i + 1;
    }
    return path.substr(0, end);
}

std::string TemporaryNameBeside(const std::string& path) { return path + ".klv-partial"; }

}  // namespace klv::platform
