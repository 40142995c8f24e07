#pragma once
// Helpers for 8-bit text in the system's ANSI code page (936 for the
// launcher's users). On Windows they ask the system; on POSIX they follow
// code page 936, where bytes 0x81..0xFE lead a two-byte character whose second
// byte may be any of 0x40..0xFE, a backslash (0x5C) included.
#include <string>

namespace klv::platform {

bool IsAnsiLeadByte(unsigned char byte);

// Case-insensitive comparison of ANSI texts (the manifest look-up rule).
bool AnsiSameText(const std::string& a, const std::string& b);

// The text folded to upper case for use as a look-up key: two texts give the
// same key exactly when AnsiSameText holds for them.
std::string AnsiUpperKey(const std::string& text);

}  // namespace klv::platform
