#include "platform/codepage.h"

#include <windows.h>

namespace klv::platform {

bool IsAnsiLeadByte(unsigned char byte) {
    return IsDBCSLeadByte(byte) != FALSE;
}

std::string AnsiUpperKey(const std::string& text) {
    if (text.empty()) return text;
    // LCMapStringA folds by the user's locale, as the system's own
    // case-insensitive comparison does; double-byte characters stay intact.
    const int n =
        LCMapStringA(LOCALE_USER_DEFAULT, LCMAP_UPPERCASE, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (n <= 0) return text;
    std::string key(static_cast<std::size_t>(n), '\0');
    LCMapStringA(LOCALE_USER_DEFAULT, LCMAP_UPPERCASE, text.data(), static_cast<int>(text.size()), &key[0], n);
    return key;
}

bool AnsiSameText(const std::string& a, const std::string& b) {
    return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()), b.data(),
                          static_cast<int>(b.size())) == CSTR_EQUAL;
}

}  // namespace klv::platform
