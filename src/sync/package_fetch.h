#pragma once
// Downloading one file of the client package into a package folder.
#include <string>
#include <vector>

#include "package/name_rule.h"
#include "platform/file_system.h"
#include "http/http_client.h"

namespace klv {

// Requests per file before the fetch gives up.
inline constexpr int kFetchAttempts = 3;

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
// program). A target + ".old" that can be deleted, left by an earlier
// replacement, is deleted before the replacement.
//
// False when `name` is not a package file name, when every request failed,
// or when the old file could be neither deleted nor moved aside; in each case
// the old file is left as it was. Folder creation, decoding and writing
// failures are raised.
bool FetchPackageFile(HttpClient& http, platform::FileSystem& files, const std::string& folder,
                      const std::string& name);

}  // namespace klv
