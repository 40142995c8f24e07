#pragma once
// The package's manifest, files.txt: one line per file of the package,
// "name=version", read alike by the synchronisation, the completeness check
// and the update server, so that all three agree on every manifest.
#include <string>
#include <vector>

namespace klv {

inline constexpr char kManifestName[] = "files.txt";
inline constexpr char kPreviousManifestName[] = "files_o.txt";
// The launcher's own file, as manifests and the update server name it,
// whatever the running launcher's file is called. It may be listed without
// being in the package folder.
inline constexpr char kFetchedLauncherName[] = "Kesto.exe";

// One line of a manifest: the text before the first "=" and all the text after it.
struct ManifestEntry {
    std::string name;
    std::string version;
};

// Lines end with CR LF, LF or CR; a final line end does not start another
// line; a blank line is an entry with an empty name. A line without "=" has
// an empty name and an empty version.
std::vector<ManifestEntry> ParseManifest(const std::string& text);

}  // namespace klv
