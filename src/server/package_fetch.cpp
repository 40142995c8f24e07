#include "server/package_fetch.h"

#include <algorithm>
#include <vector>

#include "platform/codepage.h"
#include "platform/error.h"
#include "server/memory_stream.h"
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

// Frees the target path for the new file. True when nothing is in the way any
// more; false when the old file could neither be deleted nor moved aside.
bool DisplaceOldFile(platform::FileSystem& files, const std::string& target) {
    if (!files.FileExists(target) || files.RemoveFile(target)) return true;
    const std::string old = target + ".old";
    if (files.RenameFile(target, old)) return true;
    for (unsigned long n = 0;; ++n) {
        const std::string candidate = old + std::to_string(n);
        if (!files.FileExists(candidate)) return files.RenameFile(target, candidate);
        // An older displaced copy that can now be deleted makes room for this one;
        // one still in use keeps its name and the next number is tried.
        if (files.RemoveFile(candidate)) return files.RenameFile(target, candidate);
    }
}

}  // namespace

std::vector<std::string> PackageNameComponents(const std::string& name) {
    std::vector<std::string> parts(1);
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto byte = static_cast<unsigned char>(name[i]);
        if (platform::IsAnsiLeadByte(byte) && i + 1 < name.size()) {
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

    // The transport leaves a failed attempt's bytes in the sink, so every
    // attempt starts from an empty buffer: only the successful body is decoded.
    MemoryStream buffer;
    bool received = false;
    for (int attempt = 0; attempt < kFetchAttempts && !received; ++attempt) {
        buffer.Clear();
        try {
            http.Get(url, buffer);
            received = true;
        } catch (const Error&) {
            // Any failure of the call is counted, a buffer that cannot be had
            // included; the same request is sent again at once.
        }
    }
    if (!received) return false;

    const std::string targetFolder = platform::FolderOf(target);
    if (!files.DirectoryExists(targetFolder) && !files.CreateFolderChain(targetFolder))
        throw Error("Unable to create directory \"" + targetFolder + "\"");
    DecodeFileBody(&buffer);

    // Only now, with the new content in hand, does the old file make room.
    if (!DisplaceOldFile(files, target)) return false;
    files.WriteWholeFile(target, buffer.Data());
    return true;
}

}  // namespace klv
