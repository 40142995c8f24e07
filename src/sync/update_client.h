#pragma once
// The two self-contained requests of the update-server protocol, each on a
// client object of its own: what the self-update worker and klv-client call.
#include <string>

namespace klv {

// True exactly when the server answers "OK"; false for any other answer and
// for every transport failure. Raises nothing.
bool CheckFileUpdate(const std::string& fileName, const std::string& version);

// One GetAFile request; writes the content to `path` (folders are not
// created). False when the request fails; decoding and writing failures are
// raised. `path` is replaced only by a complete file.
bool DownloadServerFile(const std::string& fileName, const std::string& path);

}  // namespace klv
