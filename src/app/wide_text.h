#pragma once
// Conversions to UTF-16 for drawing: every text the window shows goes through
// the wide-character API, so it displays whatever the ANSI code page is.
#include <windows.h>

#include <string>

namespace klv {

inline std::wstring WidenFrom(UINT codePage, const std::string& text) {
    if (text.empty()) return {};
    const int n = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &wide[0], n);
    return wide;
}

// 8-bit text in the system's ANSI code page (error messages, file names).
inline std::wstring WidenAnsi(const std::string& text) {
    return WidenFrom(CP_ACP, text);
}
// UTF-8 text (what the synchronisation hands to its view).
inline std::wstring WidenUtf8(const std::string& text) {
    return WidenFrom(CP_UTF8, text);
}

}  // namespace klv
