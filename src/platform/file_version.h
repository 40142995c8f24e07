#pragma once
#include <string>

namespace klv::platform {

// The file version of an executable's version resource as "a.b.c.d", or the
// empty string when the file has no usable version resource. Never raises.
// Only Windows has version resources; elsewhere the result is always empty.
std::string ReadFileVersion(const std::string& path);

}  // namespace klv::platform

namespace klv {
using platform::ReadFileVersion;
}
