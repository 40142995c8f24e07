#pragma once
// The Run value that records an installation: a string value under the
// machine-wide Run key naming a program inside the install folder.
#include <string>

#include "platform/codepage.h"

namespace klv {

inline constexpr char kRunKeyPath[] = "Software\\Microsoft\\WinDows\\CurrentVersion\\Run";
inline constexpr char kRunValueName[] = "KLV_U";

// The folder part of a Run value: everything up to and including its last
// "\" or ":", or empty text when it has neither. A byte 0x5C or 0x3A that is
// the second byte of a double-byte character (isLeadByte says which bytes
// lead one) is no separator. Quotation marks and arguments are not looked at:
// "\"C:\A\run.exe\" /x" gives "\"C:\A\".
std::string RunValueFolder(const std::string& value, bool (*isLeadByte)(unsigned char) = &platform::IsAnsiLeadByte);

}  // namespace klv
