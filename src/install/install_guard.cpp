#include "install/install_guard.h"

#include <map>
#include <optional>

#include "install/folder_tree.h"
#include "install/install_folder_check.h"
#include "install/special_folders.h"
#include "platform/codepage.h"
#include "platform/path_text.h"

namespace klv {
namespace {

// A path as a root ("C:\", "\\server\share\", "\") and the folder names below it.
struct FolderPath {
    std::string root;
    std::vector<std::string> components;
};

bool IsSeparator(unsigned char byte) {
    return byte == '\\' || byte == '/';
}

// A name that Windows reads as it is spelt: not "." or "..", no trailing dot
// or space (which Windows drops), no stream colon, no wildcard or control byte.
bool IsPlainName(const std::string& name) {
    if (name.back() == '.' || name.back() == ' ') return false;
    for (std::size_t i = 0; i < name.size(); i += platform::CharLength(name, i)) {
        const auto byte = static_cast<unsigned char>(name[i]);
        if (platform::CharLength(name, i) == 2) continue;
        if (byte < 0x20 || std::string(":*?\"<>|").find(static_cast<char>(byte)) != std::string::npos) return false;
    }
    return true;
}

bool IsDriveLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Parses `path`, or gives the verdict that ends the judgement there.
std::optional<InstallFolderVerdict> Parse(const std::string& path, FolderPath& out) {
    const auto at = [&path](std::size_t i) -> unsigned char {
        return i < path.size() ? static_cast<unsigned char>(path[i]) : static_cast<unsigned char>(0);
    };
    std::string rest;
    if (IsSeparator(at(0)) && IsSeparator(at(1))) {
        // \\server\share: both names are part of the root. "\\?\" and "\\.\"
        // lift Windows' own path rules and are not read here.
        if (at(2) == '?' || at(2) == '.') return InstallFolderVerdict::UnclearName;
        std::vector<std::string> parts = platform::SplitPath(path);
        if (parts.size() < 2) return InstallFolderVerdict::NoFolder;
        out.root = "\\\\" + parts[0] + "\\" + parts[1] + "\\";
        out.components.assign(parts.begin() + 2, parts.end());
        for (const std::string& name : parts)
            if (!IsPlainName(name) || name == "." || name == "..") return InstallFolderVerdict::UnclearName;
        return std::nullopt;
    }
    if (IsDriveLetter(static_cast<char>(at(0))) && at(1) == ':') {
        // "C:" and "C:x" are relative to the drive's working folder.
        if (!IsSeparator(at(2))) return InstallFolderVerdict::NoFolder;
        out.root = path.substr(0, 2) + "\\";
        rest = path.substr(3);
    } else if (IsSeparator(at(0))) {
        out.root = "\\";  // the root of the working drive
        rest = path.substr(1);
    } else {
        return InstallFolderVerdict::NoFolder;  // empty, or relative to the working folder
    }
    out.components = platform::SplitPath(rest);
    for (const std::string& name : out.components)
        if (!IsPlainName(name)) return InstallFolderVerdict::UnclearName;
    return std::nullopt;
}

std::string Rebuild(const FolderPath& path, std::size_t depth) {
    std::string out = path.root;
    for (std::size_t i = 0; i < depth; ++i) out += path.components[i] + "\\";
    return out;
}

bool SameRootAndPrefix(const FolderPath& folder, const FolderPath& special) {
    if (!platform::AnsiSameText(folder.root, special.root)) return false;
    if (folder.components.size() > special.components.size()) return false;
    for (std::size_t i = 0; i < folder.components.size(); ++i)
        if (!platform::AnsiSameText(folder.components[i], special.components[i])) return false;
    return true;
}

// The parsed paths of `paths`, without the empty and unreadable ones.
std::vector<FolderPath> ParseAll(const std::vector<std::string>& paths) {
    std::vector<FolderPath> parsed;
    for (const std::string& path : paths) {
        FolderPath folder;
        if (!path.empty() && !Parse(path, folder)) parsed.push_back(folder);
    }
    return parsed;
}

// Identities by path, each asked of the file layer once per judgement.
class Identities {
public:
    explicit Identities(platform::FileSystem& fs) : fs_(fs) {}
    const std::optional<platform::FileIdentity>& Of(const std::string& path) {
        auto it = known_.find(path);
        if (it == known_.end()) it = known_.emplace(path, fs_.IdentityOf(path)).first;
        return it->second;
    }

private:
    platform::FileSystem& fs_;
    std::map<std::string, std::optional<platform::FileIdentity>> known_;
};

std::optional<InstallFolderVerdict> JudgeByName(const FolderPath& target, const std::vector<FolderPath>& special,
                                                const std::vector<FolderPath>& system) {
    for (const FolderPath& folder : special) {
        if (!SameRootAndPrefix(target, folder)) continue;
        return target.components.size() == folder.components.size() ? InstallFolderVerdict::SpecialFolder
                                                                    : InstallFolderVerdict::AboveSpecialFolder;
    }
    for (const FolderPath& folder : system)
        if (SameRootAndPrefix(folder, target)) return InstallFolderVerdict::InSystemFolder;
    return std::nullopt;
}

// The same judgement by what the names lead to.
std::optional<InstallFolderVerdict> JudgeByIdentity(platform::FileSystem& fs, const std::string& folder,
                                                    const FolderPath& target, const std::vector<FolderPath>& special,
                                                    const std::vector<FolderPath>& system) {
    const std::optional<platform::FileIdentity> identity = fs.IdentityOf(folder);
    if (!identity) return std::nullopt;  // nothing there: nothing to delete either
    Identities identities(fs);
    for (const FolderPath& path : special) {
        for (std::size_t depth = path.components.size() + 1; depth-- > 0;) {
            if (identities.Of(Rebuild(path, depth)) != identity) continue;
            if (depth == 0) return InstallFolderVerdict::DriveRoot;
            return depth == path.components.size() ? InstallFolderVerdict::SpecialFolder
                                                   : InstallFolderVerdict::AboveSpecialFolder;
        }
    }
    for (const FolderPath& path : system) {
        const std::optional<platform::FileIdentity>& systemIdentity =
            identities.Of(Rebuild(path, path.components.size()));
        if (!systemIdentity) continue;
        for (std::size_t depth = target.components.size() + 1; depth-- > 0;)
            if (identities.Of(Rebuild(target, depth)) == systemIdentity) return InstallFolderVerdict::InSystemFolder;
    }
    return std::nullopt;
}

}  // namespace

InstallFolderVerdict JudgeInstallFolder(platform::FileSystem& fs, const std::string& folder,
                                        const KnownFolders& known) {
    FolderPath target;
    if (const auto verdict = Parse(folder, target)) return *verdict;
    if (target.components.empty()) return InstallFolderVerdict::DriveRoot;
    const std::vector<FolderPath> special = ParseAll(known.special);
    const std::vector<FolderPath> system = ParseAll(known.system);
    if (const auto verdict = JudgeByName(target, special, system)) return *verdict;
    if (const auto verdict = JudgeByIdentity(fs, folder, target, special, system)) return *verdict;
    switch (CheckInstallFolder(fs, folder).state) {
        case InstallFolderState::Link:
            return InstallFolderVerdict::Link;
        case InstallFolderState::ForeignOwner:
            return InstallFolderVerdict::ForeignOwner;
        default:
            return InstallFolderVerdict::Ours;  // a file or nothing there: the delete finds nothing to delete
    }
}

bool DeleteInstallFolder(platform::FileSystem& fs, const std::string& installDir) {
    if (JudgeInstallFolder(fs, installDir, ShellKnownFolders()) != InstallFolderVerdict::Ours) return false;
    DeleteFolderTree(fs, installDir);
    return true;
}

KnownFolders ShellKnownFolders() {
    KnownFolders known;
    for (std::size_t i = 0; i < SpecialFolderIds.size(); ++i) {
        known.special.push_back(SpecialFolderPath(i));
        // The Windows folder, the system folder and the 32-bit system folder.
        const std::uint8_t id = SpecialFolderIds[i];
        if (id == 0x24 || id == 0x25 || id == 0x29) known.system.push_back(known.special.back());
    }
    return known;
}

}  // namespace klv
