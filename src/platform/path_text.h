#pragma once
// Paths as the launcher holds them: 8-bit text in the system's ANSI code page
// with backslashes. In a double-byte code page (936 for the launcher's users)
// the second byte of a character may be 0x5C, the backslash, and is then no
// separator; which bytes are second bytes is only known reading forward from
// the start. Every reading of path text goes through the one walk here, so
// that no two places can disagree on where a name ends: a path check that
// reads a path differently from the code that uses it is a check that can be
// walked around.
#include <cstddef>
#include <string>
#include <vector>

#include "platform/codepage.h"

namespace klv::platform {

using LeadByteTest = bool (*)(unsigned char);

// The length of the character at `text[i]`: 2 for a lead byte followed by a
// byte that can be a second byte, else 1. No double-byte code page has a
// second byte below 0x40, so after a lead byte "/", ".", ":" or a control
// byte is a character of its own, as Windows reads it ("a\x91/../x" climbs).
std::size_t CharLength(const std::string& text, std::size_t i, LeadByteTest isLead = &IsAnsiLeadByte);

// Where the folder part of `path` ends: just after its last "\" (and, with
// `colonToo`, its last ":"), or 0 when it has none.
std::size_t FolderEnd(const std::string& path, bool colonToo = false, LeadByteTest isLead = &IsAnsiLeadByte);

// The folder part of a path: everything up to and including its last
// backslash; empty when there is none.
std::string FolderOf(const std::string& path);

// True when the path's last character is a backslash.
bool EndsWithSeparator(const std::string& path);

// folder + "\" + name, with no second backslash when folder already ends
// with one.
std::string JoinPath(const std::string& folder, const std::string& name);

// The path without its trailing backslashes, a root kept as it is ("C:\",
// "\"): the form the system's per-path lists (deferred deletion, access
// lists) want for a folder.
std::string WithoutTrailingSeparator(std::string path);

// The names between the separators ("\" and, as Windows reads it, "/").
// With `keepEmpty` an empty name stands for each leading, doubled or
// trailing separator; without, repeated separators count as one.
std::vector<std::string> SplitPath(const std::string& path, bool keepEmpty = false);

// The path with every separator backslash turned into a slash, second bytes
// left alone: the POSIX file layer's form of a path.
std::string WithSlashes(const std::string& path);

// True when both texts are equal but for the case of ASCII letters: how the
// file system compares program and file names whatever the code page.
bool SameAsciiText(const std::string& a, const std::string& b);

}  // namespace klv::platform
