#pragma once
// Command line of klv-update-server.
#include <cstddef>
#include <cstdint>
#include <string>

namespace klv::update_server {

struct ServerOptions {
    std::string folder;  // package folder, POSIX, ending in "/"
    std::string bind = "127.0.0.1";
    int port = 9988;
    std::int64_t failFirst = 0;  // answer the first N requests with 503
    std::string statsPath;       // file holding "requests=N", rewritten per request
    std::uint64_t cacheBytes = 512ull << 20;
    // Limits for a server that faces the open internet.
    int headTimeoutSeconds = 10;         // a whole request head must arrive within this
    int idleTimeoutSeconds = 60;         // a connection where nothing moves is closed after this
    std::size_t maxHeadBytes = 16384;    // longer heads are answered 431
    int maxConnections = 10000;          // open connections in all
    int maxConnectionsPerAddress = 256;  // open connections from one client address
    bool help = false;
};

extern const char* const kServerUsage;

// False with a message in `error` for a command line that cannot be used.
bool ParseServerOptions(int argc, char** argv, ServerOptions& options, std::string& error);

}  // namespace klv::update_server
