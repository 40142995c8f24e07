#include "package/completeness.h"

#include "package/manifest.h"
#include "package/name_rule.h"
#include "platform/path_text.h"

namespace klv {

bool IsPackageComplete(platform::FileSystem& fs, const std::string& folder) {
    if (!fs.DirectoryExists(folder)) return false;
    const std::string manifest = folder + kManifestName;
    if (!fs.FileExists(manifest)) return false;
    // files_o.txt is there only while a synchronisation runs: one that was
    // cut short (the launcher killed, the power lost) left it, and files.txt
    // may then list new versions of files that never arrived while every
    // listed name is present in its old version. Such a folder is not one
    // package; the next synchronisation finishes it from files_o.txt.
    if (fs.FileExists(folder + kPreviousManifestName)) return false;
    // The same reading of the manifest as the synchronisation's: a blank line
    // or a line without "=" is an entry with an empty name, never present.
    for (const ManifestEntry& entry : ParseManifest(fs.ReadWholeFile(manifest))) {
        if (platform::SameAsciiText(entry.name, kFetchedLauncherName)) continue;
        // A name that cannot be a file of this folder ("..\x", "C:\x") is one
        // the synchronisation would never fetch: missing, whatever is there.
        if (!IsPackageFileName(entry.name) || !fs.FileExists(folder + entry.name)) return false;
    }
    return true;
}

}  // namespace klv
