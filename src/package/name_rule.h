#pragma once
// The package-name rule: which manifest names stand for a file inside the
// package folder. Manifests come from the network; the launcher fetches,
// checks and the update server serves exactly the names this rule lets
// through.
#include <string>
#include <vector>

#include "platform/path_text.h"

namespace klv {

// The components of a manifest name (8-bit ANSI), split at every backslash
// and "/" that is not the trail byte of a double-byte character (0x5C is a
// valid trail byte in code page 936; no byte below 0x40 is a trail byte, so
// "/" never is). Windows takes "/" as a separator too.
// Empty components (a leading or doubled separator) are kept.
inline std::vector<std::string> PackageNameComponents(const std::string& name) {
    return platform::SplitPath(name, true);
}

// False exactly when `name`, appended to a package folder, could lead out of
// it or name a device: a ".." component (or one of dots and spaces alone
// that Windows may trim to ".."), a colon (a drive, or a stream), a control
// byte, or a device name such as NUL or COM1 in any component. Anything else
// stays inside: Windows collapses doubled separators, so a leading
// backslash, two backslashes in a row and "a/b" all name a file in the
// folder, and an empty name names the folder itself (whose download then
// fails). Manifests come from the network; a name that fails this is never
// requested or written.
bool IsPackageFileName(const std::string& name);

// Where `name` lives in `folder` (which ends with a backslash): the folder
// followed by the name's components joined with backslashes, empty and "."
// components dropped. The same file Windows would open for folder + name,
// in the one form that the folder operations here understand.
std::string PackageFilePath(const std::string& folder, const std::string& name);

}  // namespace klv
