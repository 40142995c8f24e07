#pragma once
// The response head: the status line and header lines as they came, and the
// fields the transport acts on.
#include <cstdint>
#include <string>
#include <vector>

#include "http/http_input.h"

namespace klv {

struct ResponseHead {
    std::string statusLine;
    int status = -1;
    std::vector<std::string> lines;  // header lines as received, continuations included
    // -1 when absent or not a number; "present" means 0 or more.
    std::int32_t contentLength = -1;
    std::string location;
    std::string connection;
    std::string proxyConnection;
    std::string transferEncoding;
    std::vector<std::string> wwwAuthenticate;
    std::vector<std::string> setCookies;  // values of every Set-Cookie and Set-Cookie2 line

    bool HasContentLength() const { return contentLength >= 0; }
};

// The status code: the text after the status line's first space (trimmed)
// up to the next space, as a decimal integer; -1 when not a number.
int ParseStatusCode(const std::string& statusLine);

// A decimal signed 32-bit integer with optional sign; false when the text is
// not one (empty, other characters, out of range).
bool ParseInt32(const std::string& text, std::int32_t& value);

std::string Trim(const std::string& text);
bool SameTextAscii(const std::string& a, const std::string& b);

// Values of every header named `name` (any case), each trimmed with its
// continuation lines appended, trimmed, after one space.
std::vector<std::string> HeaderValues(const std::vector<std::string>& lines, const std::string& name);
// The first occurrence, or empty.
std::string HeaderValue(const std::vector<std::string>& lines, const std::string& name);

// Reads one status line and its header lines up to the empty line. A peer
// that closes while header lines are read ends the head there; one that
// closes before the status line raises EIdConnClosedGracefully.
ResponseHead ReadResponseHead(InputBuffer& input);

}  // namespace klv
