#include "platform/file_version.h"

#include <windows.h>

#include <cstdio>
#include <vector>

namespace klv::platform {

std::string ReadFileVersion(const std::string& path) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    if (size == 0) return {};
    std::vector<char> info(size);
    if (!GetFileVersionInfoA(path.c_str(), 0, size, info.data())) return {};
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedSize = 0;
    if (!VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &fixedSize) || fixed == nullptr ||
        fixedSize < sizeof(VS_FIXEDFILEINFO))
        return {};
    // The file version, not the product version: the launcher and its
    // replacement are compared by what the build stamped on the file.
    char text[64];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
                  HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS));
    return text;
}

}  // namespace klv::platform
