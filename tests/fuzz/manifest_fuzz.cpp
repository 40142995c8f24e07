// Any bytes as a manifest files.txt: the synchronisation's reading
// (ParseManifest), the package-name rule on every name, the version rule on
// every pair of versions, the completeness check's reading and the update
// server's look-up. Each must end in a result or its own failure kind, and
// they must agree with each other about the same manifest.
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "package/completeness.h"
#include "package/manifest.h"
#include "package/name_rule.h"
#include "manifest_lookup.h"
#include "package_names.h"
#include "platform/codepage.h"
#include "platform/error.h"
#include "protocol/version.h"

namespace {

// A package folder in memory: files.txt holds the input, and a listed file
// exists when its name has an even length (so that both answers occur).
class ManifestFolder : public klv::platform::FileSystem {
public:
    ManifestFolder(std::string folder, std::string manifest)
        : folder_(std::move(folder)), manifest_(std::move(manifest)) {}
    bool FileExists(const std::string& path) override {
        if (path == folder_ + klv::kManifestName) return true;
        return path.compare(0, folder_.size(), folder_) == 0 && (path.size() - folder_.size()) % 2 == 0 &&
               path.size() > folder_.size();
    }
    bool DirectoryExists(const std::string& path) override { return path == folder_; }
    bool RemoveFile(const std::string&) override { return false; }
    bool RenameFile(const std::string&, const std::string&) override { return false; }
    bool CreateFolderChain(const std::string&) override { return false; }
    bool RemoveEmptyFolder(const std::string&) override { return false; }
    bool CopyFileOver(const std::string&, const std::string&) override { return false; }
    bool SetReadOnly(const std::string&, bool) override { return false; }
    std::vector<klv::platform::DirectoryEntry> ListFolder(const std::string&) override { return {}; }
    std::string ReadWholeFile(const std::string& path) override {
        if (path != folder_ + klv::kManifestName) throw klv::EFOpenError("Cannot open file \"" + path + "\". ");
        return manifest_;
    }
    void WriteWholeFile(const std::string& path, const std::string&) override {
        throw klv::EFCreateError("Cannot create file \"" + path + "\". ");
    }

private:
    std::string folder_;
    std::string manifest_;
};

// The number of lines by the rule: CR LF, LF and CR each end one, and a
// last line without an end counts too.
std::size_t LinesOf(const std::string& text) {
    std::size_t lines = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        if (text[i] == '\r' || text[i] == '\n') ++lines;
    }
    if (!text.empty() && text.back() != '\r' && text.back() != '\n') ++lines;
    return lines;
}

bool HasClimbingComponent(const std::string& path) {
    for (const std::string& part : klv::PackageNameComponents(path))
        if (part == "..") return true;
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::vector<klv::ManifestEntry> entries = klv::ParseManifest(text);
    KLV_FUZZ_CHECK(entries.size() == LinesOf(text));

    const std::string folder = "C:\\QNKLV\\";
    ManifestFolder fs(folder, text);
    bool complete = true;
    std::map<std::string, std::string> firstVersion;  // by case-folded name
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const klv::ManifestEntry& entry = entries[i];
        KLV_FUZZ_CHECK(entry.name.find_first_of("\r\n=") == std::string::npos);
        KLV_FUZZ_CHECK(entry.version.find_first_of("\r\n") == std::string::npos);
        firstVersion.emplace(klv::platform::AnsiUpperKey(entry.name), entry.version);

        // An accepted name stays inside the folder, in the form the folder
        // operations use, and the server serves it from inside its folder.
        if (klv::IsPackageFileName(entry.name)) {
            const std::string path = klv::PackageFilePath(folder, entry.name);
            KLV_FUZZ_CHECK(path.compare(0, folder.size(), folder) == 0);
            KLV_FUZZ_CHECK(!HasClimbingComponent(path));
            KLV_FUZZ_CHECK(path.find(':', folder.size()) == std::string::npos);
            const auto relative = klv::update_server::RelativePathOf(entry.name);
            if (relative) {
                KLV_FUZZ_CHECK(!relative->empty() && (*relative)[0] != '/');
                KLV_FUZZ_CHECK(!HasClimbingComponent(*relative));
            }
        } else {
            KLV_FUZZ_CHECK(!klv::update_server::RelativePathOf(entry.name));
        }
        // What the completeness check must conclude, line by line: the
        // launcher itself may be missing, every other name must be a file.
        if (!klv::platform::AnsiSameText(entry.name, "Kesto.exe") &&
            (!klv::IsPackageFileName(entry.name) || !fs.FileExists(folder + entry.name)))
            complete = false;

        // The version rule answers or raises its conversion failure, nothing else.
        const std::string& other = i + 1 < entries.size() ? entries[i + 1].version : entries[0].version;
        try {
            klv::VersionIsNewer(entry.version, other);
        } catch (const klv::EConvertError&) {
        }
    }

    // The server's look-up reads the manifest the same way: the first line
    // with a name (in any letter case) gives its version. Each look-up reads
    // the whole text, so a few lines make the point.
    for (std::size_t i = 0; i < entries.size() && i < 8; ++i) {
        const klv::ManifestEntry& entry = entries[entries.size() - 1 - i];
        const auto listed = klv::update_server::ListedVersion(text, entry.name);
        KLV_FUZZ_CHECK(listed && *listed == firstVersion[klv::platform::AnsiUpperKey(entry.name)]);
    }

    // The completeness check reads the manifest as the synchronisation does.
    KLV_FUZZ_CHECK(klv::IsPackageComplete(fs, folder) == complete);
    return 0;
}
