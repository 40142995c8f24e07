#pragma once
// Reading values of the machine-wide registry.
#include <optional>
#include <string>

#include "platform/error.h"

namespace klv::platform {

// A value of another type than the one asked for: "Invalid data type for '%s'"
// with the value's name.
class ERegistryException : public Error {
public:
    using Error::Error;
};

// The registry error for the value `name`.
inline ERegistryException InvalidDataType(const std::string& name) {
    return ERegistryException("Invalid data type for '" + name + "'");
}

// The text of the string value `name` under HKEY_LOCAL_MACHINE\`key`. The key
// is opened with full access (so reading needs administrator rights) in the
// program's own registry view: a 32-bit program sees the 32-bit view on 64-bit
// Windows. REG_SZ and REG_EXPAND_SZ text ends at its first NUL and is not
// expanded; a value of size 0 is empty text whatever its type.
//
// Nothing when the key cannot be opened or has no such value (the POSIX side
// has no registry: always nothing). Raises ERegistryException for a value of
// any other type.
std::optional<std::string> ReadMachineString(const std::string& key, const std::string& name);

}  // namespace klv::platform
