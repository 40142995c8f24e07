#pragma once
// Downloading one file of the client package into a package folder.
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "server/http_client.h"

namespace klv {

// Requests per file before the fetch gives up.
inline constexpr int kFetchAttempts = 3;

// The components of a manifest name (8-bit ANSI), split at every backslash
// and "/" that is not the trail byte of a double-byte character (0x5C is a
// valid trail byte in code page 936; no byte below 0x40 is a trail byte, so
// "/" never is). Windows takes "/" as a separator too.
// Empty components (a leading or doubled separator) are kept.
std::vector<std::string> PackageNameComponents(const std::string& name);

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

// Downloads `name` into PackageFilePath(folder, name) through `http`
// (GetAFile, up to kFetchAttempts requests, the same URL each time). `folder`
// ends with a backslash. The body is inflated as it arrives into a temporary
// file beside the target, so memory does not grow with the file; missing
// sub-folders are created when the first content arrives, and removed again
// when every request failed.
//
// The file already at the target is kept until its replacement has arrived
// and decoded, complete under the temporary name; a write that fails (a full
// disk) leaves it untouched. Then it is moved aside to target + ".old", else
// target + ".old0", ".old1", ... while the new file is moved into place; a
// move that fails puts it back as it was. Afterwards the displaced file is
// deleted, or stays under its ".old" name when it cannot be (a running
// program).
//
// False when `name` is not a package file name, when every request failed,
// or when the old file could be neither deleted nor moved aside; in each case
// the old file is left as it was. Folder creation, decoding and writing
// failures are raised.
bool FetchPackageFile(HttpClient& http, platform::FileSystem& files, const std::string& folder,
                      const std::string& name);

}  // namespace klv
