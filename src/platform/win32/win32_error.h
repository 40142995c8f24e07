#pragma once
// Windows error numbers as the system's text in the user's own language (the
// launcher's users read Chinese), captured at the call site.
#include <windows.h>

#include <string>

#include "platform/win32/scoped_win.h"

namespace klv::platform {

inline std::string SystemErrorText(DWORD error) {
    char* text = nullptr;
    const DWORD n =
        FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, error, LANG_USER_DEFAULT, reinterpret_cast<char*>(&text), 0, nullptr);
    const LocalMemory<char> allocated(text);
    std::string out = n && text ? std::string(text, n) : "System error " + std::to_string(error);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ')) out.pop_back();
    return out;
}

}  // namespace klv::platform
