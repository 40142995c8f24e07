#pragma once
// Conversion of 8-bit ANSI text (file and manifest names) into UTF-8, for the
// places where such a name is shown to the user beside fixed window texts,
// which the window draws with the wide-character API.
#include <string>

namespace klv::platform {

// `text` in the system's ANSI code page (936 on POSIX) as UTF-8. Bytes that do
// not form a character of the code page become "?", so a damaged name is
// still shown rather than dropped.
std::string AnsiToUtf8(const std::string& text);

}  // namespace klv::platform
