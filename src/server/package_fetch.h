#pragma once
// Downloading one file of the client package into a package folder.
#include <string>

#include "platform/file_system.h"
#include "server/http_client.h"

namespace klv {

// Requests per file before the fetch gives up.
inline constexpr int kFetchAttempts = 3;

// True when `name` (a manifest name, 8-bit ANSI) stays inside the package
// folder it is appended to: relative, backslash-separated, no drive or stream
// colon, no empty, "." or ".." component (nor one of dots and spaces alone,
// which Windows trims away), and no device name such as NUL or COM1. Manifests
// come from the network; a name that fails this is never requested or written.
bool IsPackageFileName(const std::string& name);

// Downloads `name` into `folder` + `name` through `http` (GetAFile, up to
// kFetchAttempts requests, the same URL each time). `folder` ends with a
// backslash. Missing sub-folders are created once a request has succeeded.
//
// The file already at the target is kept until its replacement has arrived
// and decoded: only then is it deleted, or, when it cannot be deleted (a
// running program), moved aside to target + ".old", else target + ".old0",
// ".old1", ... The new content is written under a temporary name and moved
// into place complete.
//
// False when `name` is not a package file name, when every request failed,
// or when the old file could be neither deleted nor moved aside; in each case
// the old file is left as it was. Folder creation, decoding and writing
// failures are raised.
bool FetchPackageFile(HttpClient& http, platform::FileSystem& files, const std::string& folder,
                      const std::string& name);

}  // namespace klv
