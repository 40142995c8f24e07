#include "package/manifest.h"

#include <algorithm>

namespace klv {

std::vector<ManifestEntry> ParseManifest(const std::string& text) {
    std::vector<ManifestEntry> entries;
    // Count the line ends first (CR LF is one), so that the list is allocated
    // once instead of being moved whole each time it grows.
    std::size_t ends = 0;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (text[i] == '\n' || (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'))) ++ends;
    entries.reserve(ends + 1);
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) end = text.size();
        const auto eq = std::find(text.begin() + start, text.begin() + end, '=');
        if (eq == text.begin() + end)
            entries.emplace_back();
        else
            entries.push_back({std::string(text.begin() + start, eq), std::string(eq + 1, text.begin() + end)});
        if (end == text.size()) break;
        start = end + 1;
        if (text[end] == '\r' && start < text.size() && text[start] == '\n') ++start;
    }
    return entries;
}

}  // namespace klv
