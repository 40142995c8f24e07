#pragma once
// Making a release of the package for the update server's releases folder:
// the files, and a files.txt whose versions the launchers will trust.
//
// An executable's version is its own (the file version of its version
// resource); any other file keeps the version of the previous release while
// its content is the same, and gets that version raised when it changed. A
// launcher fetches a file only when its version is newer than the one it has,
// so a changed file under an unchanged version would never reach anybody:
// the tool refuses such an executable instead of publishing it.
#include <optional>
#include <string>
#include <vector>

namespace klv::release {

struct ReleaseFile {
    std::string name;     // manifest name, backslashes ("sub\x.dll")
    std::string source;   // POSIX path of the file to publish
    std::string version;  // what files.txt lists
    bool executable = false;
};

struct Change {
    enum Kind { Added, Changed, Removed, Unchanged } kind;
    std::string name;
    std::string oldVersion;  // empty for Added
    std::string newVersion;  // empty for Removed
};

struct Plan {
    std::vector<ReleaseFile> files;    // in manifest order (by name)
    std::vector<Change> changes;       // the same order, then the removed ones
    std::vector<std::string> ignored;  // names in the source that a release does not take
    bool HasChanges() const;
};

// Plans a release of `sourceFolder` (POSIX, ending in "/") against the
// previous release's folder (empty: none). With `certificate` (a PEM file),
// every Windows image must be signed with that certificate's key. Raises
// std::runtime_error, naming the file, for a name the package-name rule
// refuses, a link, an executable that changed without a newer version, an
// image not signed with the key, or a previous version that cannot be raised.
Plan PlanRelease(const std::string& sourceFolder, const std::string& previousFolder,
                 const std::string& certificate = {});

// files.txt of a plan: "name=version" lines, each ended by CR LF.
std::string ManifestText(const Plan& plan);

// The version after `version` for a changed data file: its last component
// raised by one ("1.0.0.9" -> "1.0.0.10"). Nothing when it is not dotted
// decimal numbers.
std::optional<std::string> RaisedVersion(const std::string& version);

// Writes the plan as releases/<name>/ (through a temporary folder renamed into
// place, so a release folder is complete or absent) and, with `publish`,
// points releases/current at it by one rename. Raises std::runtime_error.
void WriteRelease(const Plan& plan, const std::string& releasesFolder, const std::string& name, bool publish);

// The release "current" names, or empty.
std::string CurrentRelease(const std::string& releasesFolder);

}  // namespace klv::release
