#include "package/name_rule.h"

#include <algorithm>

#include "platform/codepage.h"

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

}  // namespace

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

}  // namespace klv
