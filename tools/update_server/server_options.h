#pragma once
// Command line of klv-update-server.
#include <cstdint>
#include <string>

#include "http_limits.h"

namespace klv::update_server {

struct ServerOptions {
    std::string folder;  // package folder, POSIX, ending in "/"
    std::string bind = "127.0.0.1";
    int port = 9988;
    std::int64_t failFirst = 0;  // answer the first N requests with 503
    std::string statsPath;       // file holding "requests=N", rewritten per request
    std::uint64_t cacheBytes = 512ull << 20;
    HttpLimits limits;
    bool help = false;
};

// The usage text, with the defaults of the limits.
std::string ServerUsage();

// False with a message in `error` for a command line that cannot be used.
bool ParseServerOptions(int argc, char** argv, ServerOptions& options, std::string& error);

}  // namespace klv::update_server
