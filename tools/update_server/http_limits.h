#pragma once
// The limits of a server that faces the open internet. The defaults are
// written here alone: the option parser starts from them and the usage text
// prints them.
#include <cstddef>

namespace klv::update_server {

struct HttpLimits {
    int headTimeoutMs = 10000;           // from a connection's start or a head's first byte to its end
    int idleTimeoutMs = 60000;           // no new request on a kept-alive connection, or no write progress
    std::size_t maxHeadBytes = 16384;    // a longer head is answered 431
    int maxConnections = 10000;          // open connections in all
    int maxConnectionsPerAddress = 256;  // open connections from one client address
};

}  // namespace klv::update_server
