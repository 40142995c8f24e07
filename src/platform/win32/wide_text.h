#pragma once
// 8-bit text as UTF-16, for the wide-character API: the window draws every
// text with it, so that it displays whatever the ANSI code page is, and the
// calls that take only wide paths get the ANSI path the launcher holds.
#include <windows.h>

#include <string>

namespace klv::platform {

// Bytes that form no character of the code page become its default
// character rather than failing the whole text.
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

}  // namespace klv::platform
