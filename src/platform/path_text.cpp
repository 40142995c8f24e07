#include "platform/path_text.h"

namespace klv::platform {
namespace {

constexpr unsigned char kLowestSecondByte = 0x40;

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

char AsciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

}  // namespace

std::size_t CharLength(const std::string& text, std::size_t i, LeadByteTest isLead) {
    if (i + 1 >= text.size() || !isLead(static_cast<unsigned char>(text[i]))) return 1;
    return static_cast<unsigned char>(text[i + 1]) >= kLowestSecondByte ? 2 : 1;
}

std::size_t FolderEnd(const std::string& path, bool colonToo, LeadByteTest isLead) {
    std::size_t end = 0;
    for (std::size_t i = 0; i < path.size(); i += CharLength(path, i, isLead)) {
        if (CharLength(path, i, isLead) == 1 && (path[i] == '\\' || (colonToo && path[i] == ':'))) end = i + 1;
    }
    return end;
}

std::string FolderOf(const std::string& path) {
    return path.substr(0, FolderEnd(path));
}

bool EndsWithSeparator(const std::string& path) {
    return !path.empty() && FolderEnd(path) == path.size();
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    return EndsWithSeparator(folder) ? folder + name : folder + "\\" + name;
}

std::string WithoutTrailingSeparator(std::string path) {
    while (path.size() > 1 && EndsWithSeparator(path) && path[path.size() - 2] != ':') path.pop_back();
    return path;
}

std::vector<std::string> SplitPath(const std::string& path, bool keepEmpty) {
    std::vector<std::string> parts(1);
    for (std::size_t i = 0; i < path.size();) {
        const std::size_t n = CharLength(path, i);
        if (n == 1 && IsSeparator(path[i]))
            parts.emplace_back();
        else
            parts.back().append(path, i, n);
        i += n;
    }
    if (!keepEmpty) {
        std::vector<std::string> names;
        for (std::string& part : parts)
            if (!part.empty()) names.push_back(std::move(part));
        return names;
    }
    return parts;
}

std::string WithSlashes(const std::string& path) {
    std::string out = path;
    for (std::size_t i = 0; i < out.size(); i += CharLength(out, i))
        if (CharLength(out, i) == 1 && out[i] == '\\') out[i] = '/';
    return out;
}

bool SameAsciiText(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
    return true;
}

}  // namespace klv::platform
