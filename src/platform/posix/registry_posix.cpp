#include "platform/registry.h"

namespace klv::platform {

std::optional<std::string> ReadMachineString(const std::string& /*key*/, const std::string& /*name*/) {
    return std::nullopt;
}

}  // namespace klv::platform
