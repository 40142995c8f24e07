#include "manifest_lookup.h"

#include "platform/codepage.h"
#include "platform/error.h"
#include "package/manifest.h"
#include "protocol/version.h"

namespace klv::update_server {

std::optional<std::string> ListedVersion(const std::string& manifest, const std::string& name) {
    // The launcher's reader, so that server and launcher read every manifest
    // alike: a line without "=" has the empty name, not its whole text.
    for (const ManifestEntry& entry : ParseManifest(manifest))
        if (platform::AnsiSameText(entry.name, name)) return entry.version;
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

}  // namespace klv::update_server
