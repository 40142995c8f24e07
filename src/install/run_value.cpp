#include "install/run_value.h"

#include "platform/path_text.h"

namespace klv {

std::string RunValueFolder(const std::string& value, platform::LeadByteTest isLeadByte) {
    return value.substr(0, platform::FolderEnd(value, true, isLeadByte));
}

}  // namespace klv
