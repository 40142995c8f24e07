#include "release.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>

#include "authenticode.h"
#include "package/manifest.h"
#include "package/name_rule.h"
#include "pe/pe_image.h"
#include "platform/codepage.h"
#include "protocol/version.h"
#include "releases.h"

namespace klv::release {
namespace {

constexpr char kFirstVersion[] = "1.0.0.1";
using update_server::kCurrentReleaseName;

[[noreturn]] void Fail(const std::string& what) {
    throw std::runtime_error(what);
}

std::string SystemError(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) Fail(SystemError("cannot read", path));
    return std::string{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::optional<std::string> ReadIfPresent(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return ReadFile(path);
}

std::string PosixName(const std::string& manifestName) {
    std::string out = manifestName;
    std::replace(out.begin(), out.end(), '\\', '/');
    return out;
}

bool IsManifestName(const std::string& relative) {
    return relative == kManifestName || relative == kPreviousManifestName;
}

// Every regular file below `folder`, as relative POSIX paths. A link is
// refused: what it leads to is not the vendor's release, and the server
// would refuse to serve it anyway.
void CollectFiles(const std::string& folder, const std::string& relative, std::vector<std::string>& out) {
    DIR* dir = ::opendir((folder + relative).c_str());
    if (!dir) Fail(SystemError("cannot list", folder + relative));
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(dir);
    for (const std::string& name : names) {
        const std::string path = relative + name;
        struct stat st {};
        if (::lstat((folder + path).c_str(), &st) != 0) Fail(SystemError("cannot read", folder + path));
        if (S_ISLNK(st.st_mode)) Fail("refused: " + path + " is a link");
        if (S_ISDIR(st.st_mode))
            CollectFiles(folder, path + "/", out);
        else if (S_ISREG(st.st_mode))
            out.push_back(path);
        else
            Fail("refused: " + path + " is not a regular file");
    }
}

std::vector<unsigned long long> Components(const std::string& version) {
    std::vector<unsigned long long> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t dot = version.find('.', start);
        const std::string part = version.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
        if (part.empty() || part.size() > 9 || part.find_first_not_of("0123456789") != std::string::npos) return {};
        parts.push_back(std::stoull(part));
        if (dot == std::string::npos) return parts;
        start = dot + 1;
    }
}

// The self-update's order (the first component that differs decides), which
// also implies the manifests' rule: a version after the old one is one that
// every launcher fetches, and never a downgrade. A version that is not dotted
// numbers comes after nothing.
bool LaterVersion(const std::string& a, const std::string& b) {
    if (Components(a).empty() || Components(b).empty()) return false;
    return VersionIsLaterInReleaseOrder(a, b);
}

void WriteAll(const std::string& path, const std::string& content) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) Fail(SystemError("cannot create", path));
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ::close(fd);
            Fail(SystemError("cannot write", path));
        }
        done += static_cast<std::size_t>(n);
    }
    // On disk before the folder that holds it is published.
    if (::fsync(fd) != 0 || ::close(fd) != 0) Fail(SystemError("cannot write", path));
}

void MakeFolders(const std::string& root, const std::string& relativeFile) {
    for (std::size_t slash = relativeFile.find('/'); slash != std::string::npos;
         slash = relativeFile.find('/', slash + 1)) {
        const std::string folder = root + relativeFile.substr(0, slash);
        if (::mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) Fail(SystemError("cannot create", folder));
    }
}

void SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

bool Plan::HasChanges() const {
    return std::any_of(changes.begin(), changes.end(), [](const Change& c) { return c.kind != Change::Unchanged; });
}

std::optional<std::string> RaisedVersion(const std::string& version) {
    const std::vector<unsigned long long> parts = Components(version);
    if (parts.empty()) return std::nullopt;
    const std::size_t lastDot = version.rfind('.');
    const std::string head = lastDot == std::string::npos ? std::string() : version.substr(0, lastDot + 1);
    return head + std::to_string(parts.back() + 1);
}

Plan PlanRelease(const std::string& sourceFolder, const std::string& previousFolder, const std::string& certificate) {
    // The previous release's versions by case-folded name, as the launcher
    // looks names up.
    std::map<std::string, ManifestEntry> previous;
    if (!previousFolder.empty()) {
        if (const auto text = ReadIfPresent(previousFolder + kManifestName))
            for (const ManifestEntry& entry : ParseManifest(*text))
                if (!entry.name.empty()) previous.emplace(platform::AnsiUpperKey(entry.name), entry);
    }

    std::vector<std::string> relatives;
    CollectFiles(sourceFolder, "", relatives);
    std::sort(relatives.begin(), relatives.end());

    Plan plan;
    for (const std::string& relative : relatives) {
        if (IsManifestName(relative)) {
            plan.ignored.push_back(relative);  // the release's manifest is written anew
            continue;
        }
        std::string name = relative;
        std::replace(name.begin(), name.end(), '/', '\\');
        if (!IsPackageFileName(name) || name.find_first_of("=\r\n") != std::string::npos)
            Fail("refused: " + relative + " is not a name a launcher may fetch");

        ReleaseFile file{name, sourceFolder + relative, {}, false};
        const std::string content = ReadFile(file.source);
        const auto image = ReadPeImage(content);
        file.executable = image && !image->fileVersion.empty();
        if (image && !certificate.empty()) {
            const SignatureVerdict verdict = CheckSignature(content, certificate);
            if (verdict != SignatureVerdict::SignedWithKey)
                Fail("refused: " + relative + ": " + VerdictText(verdict) +
                     " (a launcher pinned to the key would not start it)");
        }

        const auto before = previous.find(platform::AnsiUpperKey(name));
        const ManifestEntry* old = before == previous.end() ? nullptr : &before->second;
        std::optional<std::string> oldContent;
        if (old) oldContent = ReadIfPresent(previousFolder + PosixName(old->name));
        const bool same = oldContent && *oldContent == content;

        if (file.executable) {
            file.version = image->fileVersion;
            if (old && !same && !LaterVersion(file.version, old->version))
                Fail("refused: " + relative + " changed, but its file version " + file.version +
                     " does not come after " + old->version + ": no launcher would fetch it");
        } else if (!old) {
            file.version = kFirstVersion;
        } else if (same) {
            file.version = old->version;
        } else {
            const auto raised = RaisedVersion(old->version);
            if (!raised)
                Fail("refused: the previous version of " + relative + " (" + old->version + ") cannot be raised");
            file.version = *raised;
        }

        Change change{Change::Unchanged, name, old ? old->version : std::string(), file.version};
        if (!old)
            change.kind = Change::Added;
        else if (!same || old->version != file.version)
            change.kind = Change::Changed;
        plan.changes.push_back(change);
        if (old) previous.erase(before);
        plan.files.push_back(std::move(file));
    }
    for (const auto& [key, entry] : previous) plan.changes.push_back({Change::Removed, entry.name, entry.version, {}});
    return plan;
}

std::string ManifestText(const Plan& plan) {
    std::string text;
    for (const ReleaseFile& file : plan.files) text += file.name + "=" + file.version + "\r\n";
    return text;
}

std::string CurrentRelease(const std::string& releasesFolder) {
    char target[PATH_MAX];
    const ssize_t n = ::readlink((releasesFolder + kCurrentReleaseName).c_str(), target, sizeof target - 1);
    return n > 0 ? std::string(target, static_cast<std::size_t>(n)) : std::string();
}

void WriteRelease(const Plan& plan, const std::string& releasesFolder, const std::string& name, bool publish) {
    const std::string final = releasesFolder + name;
    const std::string partial = releasesFolder + "." + name + ".partial/";
    struct stat st {};
    if (::lstat(final.c_str(), &st) == 0) Fail("refused: release " + name + " exists already");
    if (::mkdir(partial.c_str(), 0755) != 0) Fail(SystemError("cannot create", partial));
    for (const ReleaseFile& file : plan.files) {
        const std::string relative = PosixName(file.name);
        MakeFolders(partial, relative);
        WriteAll(partial + relative, ReadFile(file.source));
    }
    WriteAll(partial + kManifestName, ManifestText(plan));
    SyncFolder(partial);
    if (::rename(partial.c_str(), final.c_str()) != 0) Fail(SystemError("cannot move into place", final));
    if (publish) {
        // One rename switches the link: a server reading it sees the old
        // release or the new one, never no release.
        const std::string temp = releasesFolder + ".current.new";
        ::unlink(temp.c_str());
        if (::symlink(name.c_str(), temp.c_str()) != 0) Fail(SystemError("cannot create", temp));
        if (::rename(temp.c_str(), (releasesFolder + kCurrentReleaseName).c_str()) != 0)
            Fail(SystemError("cannot publish", releasesFolder + kCurrentReleaseName));
    }
    SyncFolder(releasesFolder);
}

}  // namespace klv::release
