#pragma once
// Turning a requested file name into a path inside the package folder.
// Names come from the network: backslash-separated, in code page 936, where
// the trail byte of a double-byte character may be 0x5C and is then not a
// separator. Anything that could leave the folder is refused.
#include <optional>
#include <string>

namespace klv::server {

// The name as a relative POSIX path ("sub/x.dll"), or nothing when it is
// empty, absolute, carries a drive or stream colon, a control byte, an empty
// component or one made only of dots ("." and ".." included).
std::optional<std::string> RelativePathOf(const std::string& name);

// Joins the folder (POSIX, ending in "/") and the name, then checks that the
// real location of an existing regular file still lies inside the real
// folder, so a symbolic link cannot lead out of it. Nothing when the name is
// refused or no such file exists.
std::optional<std::string> ResolvePackageFile(const std::string& folder, const std::string& name);

}  // namespace klv::server
