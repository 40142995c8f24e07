#pragma once
// Whether a package folder holds the whole package its manifest lists.
#include <string>

#include "platform/file_system.h"

namespace klv {

// True when the folder, its manifest "files.txt" and every file the manifest
// lists (but the launcher's own "Kesto.exe") are present. Raises the file
// layer's open error when the manifest exists but cannot be read.
bool IsPackageComplete(platform::FileSystem& fs, const std::string& folder);

}  // namespace klv
