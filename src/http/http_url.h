#pragma once
// Splitting a GET URL into the parts the transport sends. Nothing is percent
// encoded or decoded: every byte of path, document and parameters goes out as
// given, because the update server's paths are plain hex text.
#include <string>

namespace klv {

struct UrlParts {
    std::string protocol;  // empty when the URL has no "://"
    std::string user;      // user information, kept but unused
    std::string password;
    std::string host;
    std::string port;  // as text; empty when the URL names none
    std::string path;  // "/" ... "/" for absolute URLs; relative otherwise
    std::string document;
    std::string params;  // from the first "?" (or, lacking one, "=") on
};

// Backslashes become slashes, except where a byte is the second half of a
// double-byte character of the ANSI code page (0x5C is a valid trail byte).
std::string SlashesFromBackslashes(const std::string& url);

UrlParts ParseUrl(const std::string& url);

// Joins a relative path onto `base` ("/a/b/") and removes "." and ".."
// segments; an absolute path is returned as it stands.
std::string ResolvePath(const std::string& base, const std::string& path);

}  // namespace klv
