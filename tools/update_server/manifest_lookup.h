#pragma once
// The server's side of CheckFileUp: the version that the package folder's
// files.txt lists for a name.
#include <optional>
#include <string>

namespace klv::update_server {

// The version of the first line of `manifest` whose name equals `name`
// without regard to case, as the launcher's ParseManifest reads the lines;
// nothing when no line has that name.
std::optional<std::string> ListedVersion(const std::string& manifest, const std::string& name);

// True when the manifest lists `name` with a version newer than `nowVersion`.
// A version that is not a dotted number on either side counts as not newer:
// the server cannot vouch for it.
bool ManifestHasNewer(const std::string& manifest, const std::string& name, const std::string& nowVersion);

}  // namespace klv::update_server
