#pragma once
// Reading an HTTP/1.x request head out of the bytes received so far.
#include <cstddef>
#include <string>

namespace klv::server {

// Longest head accepted; the launcher's requests are a few hundred bytes.
inline constexpr std::size_t kMaxHeadBytes = 16 * 1024;

struct RequestHead {
    std::string method;
    std::string target;
    int minorVersion = 1;   // HTTP/1.minorVersion
    bool keepAlive = true;  // after the answer, read the next request
    bool hasBody = false;   // a Content-Length above 0 or a Transfer-Encoding
    std::string cookie;     // the Cookie header, as sent
};

enum class HeadStatus { Incomplete, Complete, Malformed, TooLarge };

// Looks for a complete head at the start of `bytes` (lines end in LF, a CR
// before it is dropped). On Complete, `consumed` is the head's length.
HeadStatus ParseRequestHead(const std::string& bytes, RequestHead& head, std::size_t& consumed);

}  // namespace klv::server
