#include "platform/text_encoding.h"

#include <windows.h>

#include "platform/win32/wide_text.h"

namespace klv::platform {

std::string AnsiToUtf8(const std::string& text) {
    const std::wstring wide = WidenAnsi(text);
    if (wide.empty()) return text;
    const int wideLength = static_cast<int>(wide.size());
    const int utf8Length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
    if (utf8Length <= 0) return text;
    std::string out(static_cast<std::size_t>(utf8Length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, &out[0], utf8Length, nullptr, nullptr);
    return out;
}

}  // namespace klv::platform
