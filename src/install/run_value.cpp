#include "install/run_value.h"

namespace klv {

std::string RunValueFolder(const std::string& value, bool (*isLeadByte)(unsigned char)) {
    // Which bytes are trail bytes is only known reading forward from the
    // start; the last separator seen that way is the one searched for from
    // the end.
    std::size_t end = 0;
    for (std::size_t i = 0; i < value.size(); ++i) {
        const auto byte = static_cast<unsigned char>(value[i]);
        if (isLeadByte(byte) && i + 1 < value.size()) {
            ++i;
            continue;
        }
        if (byte == '\\' || byte == ':') end = i + 1;
    }
    return value.substr(0, end);
}

}  // namespace klv
