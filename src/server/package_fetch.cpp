#include "server/package_fetch.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "platform/codepage.h"
#include "platform/error.h"
#include "server/file_body_writer.h"
#include "server/update_protocol.h"

namespace klv {
namespace {

// Windows opens the device, not a file, for these names in any folder and
// with any extension ("nul.txt"), so writing one would leave the folder.
// The digit of COM and LPT is 1 to 9, or a superscript 1, 2 or 3 in a
// single-byte code page (Windows maps those bytes to the same devices).
bool IsDeviceName(const std::string& component) {
    std::string base = platform::AnsiUpperKey(component.substr(0, component.find('.')));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL" || base == "CONIN$" || base == "CONOUT$")
        return true;
    if (base.size() != 4 || (base.compare(0, 3, "COM") != 0 && base.compare(0, 3, "LPT") != 0)) return false;
    const auto digit = static_cast<unsigned char>(base[3]);
    if (digit >= '1' && digit <= '9') return true;
    return (digit == 0xB9 || digit == 0xB2 || digit == 0xB3) && !platform::IsAnsiLeadByte(digit);
}

// ".." climbs out of its folder. Windows also drops the dots and spaces that
// end a component, so any component made of dots and spaces alone with two
// dots or more ("...", ".. ") may be read as ".." as well.
bool MayClimb(const std::string& component) {
    return component.find_first_not_of(". ") == std::string::npos &&
           std::count(component.begin(), component.end(), '.') >= 2;
}

bool IsSafeComponent(const std::string& component) {
    if (MayClimb(component)) return false;
    // Control bytes are no part of a Windows file name; NUL would cut the
    // path short wherever it is handed to the system.
    for (char c : component)
        if (static_cast<unsigned char>(c) < 0x20) return false;
    return !IsDeviceName(component);
}

// Moves the file at `target` out of the way of its replacement: to
// target + ".old", else to the first target + ".old" + N that is free or whose
// occupant (an older displaced copy no longer in use) can be deleted. The
// path it went to; empty when it could not be moved.
std::string MoveAside(platform::FileSystem& files, const std::string& target) {
    const std::string old = target + ".old";
    if (files.RenameFile(target, old)) return old;
    for (unsigned long n = 0;; ++n) {
        const std::string candidate = old + std::to_string(n);
        if (!files.FileExists(candidate) || files.RemoveFile(candidate))
            return files.RenameFile(target, candidate) ? candidate : std::string();
        // A displaced copy still in use keeps its name; the next number is tried.
    }
}

// Puts the new content, complete under its temporary name, at `target`,
// keeping the file that was there until the move is done: it waits under its
// displacement name meanwhile and comes back if the move fails, so a failed
// replacement never costs the working file. Afterwards the displaced file is
// deleted, or, when it cannot be (a running program), stays under that name.
// False when the old file could be neither moved nor deleted; the new
// content is dropped then.
bool ReplaceFile(platform::FileSystem& files, const std::string& target, FileBodyWriter& content) {
    std::string aside;
    if (files.FileExists(target)) {
        aside = MoveAside(files, target);
        // A file that will not move may still be deleted (a rename refused
        // for a reason a delete does not share); then there is no way back.
        if (aside.empty() && !files.RemoveFile(target)) return false;
    }
    try {
        content.Commit();
    } catch (...) {
        if (!aside.empty()) files.RenameFile(aside, target);
        throw;
    }
    if (!aside.empty()) files.RemoveFile(aside);
    return true;
}

// The folder of a target and the folders above it that are missing: created
// when the first content arrives, and removed again when no attempt brought
// the file, so that a failed fetch leaves no folder behind.
class TargetFolder {
public:
    TargetFolder(platform::FileSystem& files, std::string folder) : files_(files), folder_(std::move(folder)) {}

    void Create() {
        if (created_) return;
        for (std::string f = folder_; !f.empty() && !files_.DirectoryExists(f);) {
            missing_.push_back(f);
            const std::string parent = platform::FolderOf(f.substr(0, f.size() - 1));
            if (parent.size() >= f.size()) break;
            f = parent;
        }
        if (!missing_.empty() && !files_.CreateFolderChain(folder_))
            throw Error("Unable to create directory \"" + folder_ + "\"");
        created_ = true;
    }
    void RemoveCreated() {
        for (const std::string& f : missing_) files_.RemoveEmptyFolder(f);  // deepest first
        missing_.clear();
        created_ = false;
    }

private:
    platform::FileSystem& files_;
    std::string folder_;
    std::vector<std::string> missing_;
    bool created_ = false;
};

}  // namespace

std::vector<std::string> PackageNameComponents(const std::string& name) {
    std::vector<std::string> parts(1);
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto byte = static_cast<unsigned char>(name[i]);
        // No double-byte code page has a trail byte below 0x40: after a lead
        // byte, "/", "." or a control byte is a character of its own, and
        // Windows reads it so ("a\x91/../x" climbs out of the folder).
        const bool pair = i + 1 < name.size() && static_cast<unsigned char>(name[i + 1]) >= 0x40;
        if (platform::IsAnsiLeadByte(byte) && pair) {
            parts.back() += name[i];
            parts.back() += name[++i];
        } else if (byte == '\\' || byte == '/') {
            parts.emplace_back();
        } else {
            parts.back() += name[i];
        }
    }
    return parts;
}

bool IsPackageFileName(const std::string& name) {
    // A colon makes a drive ("C:x", which leaves the folder) or a stream of
    // another file; no package file can have one in its name.
    if (name.find(':') != std::string::npos) return false;
    for (const std::string& component : PackageNameComponents(name))
        if (!IsSafeComponent(component)) return false;
    return true;
}

std::string PackageFilePath(const std::string& folder, const std::string& name) {
    std::string path = folder;
    bool first = true;
    for (const std::string& component : PackageNameComponents(name)) {
        if (component.empty() || component == ".") continue;
        if (!first) path += '\\';
        path += component;
        first = false;
    }
    return path;
}

bool FetchPackageFile(HttpClient& http, platform::FileSystem& files, const std::string& folder,
                      const std::string& name) {
    if (!IsPackageFileName(name)) return false;
    const std::string target = PackageFilePath(folder, name);
    const std::string url = GetAFileUrl(name);

    // The body is inflated into the temporary file beside the target as it
    // arrives. The transport leaves a failed attempt's bytes in the sink, so
    // every attempt starts a fresh file: only the successful body counts.
    TargetFolder targetFolder(files, platform::FolderOf(target));
    std::unique_ptr<FileBodyWriter> body;
    bool received = false;
    for (int attempt = 0; attempt < kFetchAttempts && !received; ++attempt) {
        body.reset();  // the previous attempt's temporary file goes first
        body = std::make_unique<FileBodyWriter>(files, target, [&targetFolder] { targetFolder.Create(); });
        try {
            http.Get(url, *body);
            received = true;
        } catch (const Error&) {
            // Any failure of the call is counted, a buffer that cannot be had
            // included; the same request is sent again at once.
        }
    }
    if (!received) {
        body.reset();
        targetFolder.RemoveCreated();
        return false;
    }
    targetFolder.Create();
    body->Finish();

    // Only now, with the new content complete on disk, does the old file
    // make room.
    return ReplaceFile(files, target, *body);
}

}  // namespace klv
