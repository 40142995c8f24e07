#pragma once
// The Run value that records an installation: a string value under the
// machine-wide Run key naming a program inside the install folder.
#include <string>

#include "platform/path_text.h"

namespace klv {

inline constexpr char kRunKeyPath[] = "Software\\Microsoft\\WinDows\\CurrentVersion\\Run";
inline constexpr char kRunValueName[] = "KLV_U";

// The folder part of a Run value: everything up to and including its last
// "\" or ":", or empty text when it has neither. A byte 0x5C that is the
// second byte of a double-byte character (isLeadByte says which bytes lead
// one) is no separator; no byte below 0x40 is a second byte. Quotation marks and arguments are not looked at:
// "\"C:\A\run.exe\" /x" gives "\"C:\A\".
std::string RunValueFolder(const std::string& value, platform::LeadByteTest isLeadByte = &platform::IsAnsiLeadByte);

}  // namespace klv
