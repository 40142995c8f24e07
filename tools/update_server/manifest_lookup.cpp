#include "manifest_lookup.h"

#include "platform/codepage.h"
#include "platform/error.h"
#include "server/version.h"

namespace klv::server {

std::optional<std::string> ListedVersion(const std::string& manifest, const std::string& name) {
    std::size_t start = 0;
    while (start < manifest.size()) {
        std::size_t end = manifest.find_first_of("\r\n", start);
        if (end == std::string::npos) end = manifest.size();
        const std::string line = manifest.substr(start, end - start);
        const std::size_t eq = line.find('=');
        const std::string lineName = eq == std::string::npos ? line : line.substr(0, eq);
        if (platform::AnsiSameText(lineName, name))
            return eq == std::string::npos ? std::string() : line.substr(eq + 1);
        // CR LF is one line end, not two.
        start = end + (manifest.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
    return std::nullopt;
}

bool ManifestHasNewer(const std::string& manifest, const std::string& name, const std::string& nowVersion) {
    const auto listed = ListedVersion(manifest, name);
    if (!listed) return false;
    try {
        return VersionIsNewer(*listed, nowVersion);
    } catch (const EConvertError&) {
        return false;
    }
}

}  // namespace klv::server
