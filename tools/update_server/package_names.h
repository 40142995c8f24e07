#pragma once
// Turning a requested file name into a path inside the package folder.
// Names come from the network: separated by backslashes (or "/"), in code
// page 936, where the trail byte of a double-byte character may be 0x5C and
// is then not a separator. The launcher's package-name rule decides which
// names are served, so that server and client agree on every manifest.
#include <optional>
#include <string>

namespace klv::update_server {

// The name as a relative POSIX path ("sub/x.dll"; empty and "." components
// dropped), or nothing when the package-name rule refuses it or nothing is
// left of it.
std::optional<std::string> RelativePathOf(const std::string& name);

// Joins the folder (POSIX, ending in "/") and the name, then checks that the
// real location of an existing regular file still lies inside the real
// folder, so a symbolic link cannot lead out of it. Nothing when the name is
// refused or no such file exists.
std::optional<std::string> ResolvePackageFile(const std::string& folder, const std::string& name);

}  // namespace klv::update_server
