#include "server_options.h"

#include <cstdlib>

namespace klv::update_server {
namespace {

bool ToNumber(const std::string& text, long long low, long long high, long long& value) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 12) return false;
    value = std::atoll(text.c_str());
    return value >= low && value <= high;
}

}  // namespace

std::string ServerUsage() {
    const HttpLimits defaults;
    const auto number = [](long long value) { return std::to_string(value); };
    return "usage: klv-update-server [options] FOLDER\n"
           "Serves the package FOLDER (with its files.txt) to the launcher's update client.\n"
           "FOLDER may also be a releases folder (one folder per release and \"current\", a\n"
           "link naming the live one; klv-release makes them): each answer then names its\n"
           "release in a cookie, and a client that sends the cookie back is served from that\n"
           "release while it is there, so a synchronisation never mixes two releases.\n"
           "One line per request on stderr, in the common log format with the decoded\n"
           "request as its path, then the unscrambled request and the time taken.\n"
           "  --bind ADDR        IPv4 address to listen on (default 127.0.0.1)\n"
           "  --port N           port (default 9988; 0 picks a free one)\n"
           "  --fail-first N     answer the first N requests with 503\n"
           "  --stats FILE       keep \"requests=N\" in FILE, updated before each answer\n"
           "  --cache-mb N       memory for compressed bodies (default 512)\n"
           "Limits, for a server that faces the open internet:\n"
           "  --head-timeout S   a request head must be whole S seconds after the connection\n"
           "                     opens or the head's first byte arrives (default " +
           number(defaults.headTimeoutMs / 1000) +
           ")\n"
           "  --idle-timeout S   a kept-alive connection with no new request, or one whose\n"
           "                     client stops taking its answer, is closed after S seconds\n"
           "                     (default " +
           number(defaults.idleTimeoutMs / 1000) +
           ")\n"
           "  --max-head-bytes N longest request head; a longer one is answered 431\n"
           "                     (default " +
           number(static_cast<long long>(defaults.maxHeadBytes)) +
           ")\n"
           "  --max-connections N\n"
           "                     open connections in all (default " +
           number(defaults.maxConnections) +
           ")\n"
           "  --max-connections-per-address N\n"
           "                     open connections from one client address (default " +
           number(defaults.maxConnectionsPerAddress) +
           ")\n"
           "                     A connection over a cap is answered a bare 503 and closed\n"
           "                     at once, before its request is read.\n"
           "  --help             this text\n"
           "The first line on stdout is \"listening on ADDR:PORT\"; one line per request goes to stderr.\n"
           "SIGINT or SIGTERM ends the server after closing its connections.\n";
}

bool ParseServerOptions(int argc, char** argv, ServerOptions& options, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            options.help = true;
            return true;
        }
        const bool takesValue = arg == "--bind" || arg == "--port" || arg == "--fail-first" || arg == "--stats" ||
                                arg == "--cache-mb" || arg == "--head-timeout" || arg == "--idle-timeout" ||
                                arg == "--max-head-bytes" || arg == "--max-connections" ||
                                arg == "--max-connections-per-address";
        if (takesValue) {
            if (i + 1 >= argc) {
                error = arg + " needs a value";
                return false;
            }
            const std::string value = argv[++i];
            long long number = 0;
            if (arg == "--bind") {
                options.bind = value;
            } else if (arg == "--stats") {
                options.statsPath = value;
            } else if (arg == "--port") {
                if (!ToNumber(value, 0, 65535, number)) return error = "bad port: " + value, false;
                options.port = static_cast<int>(number);
            } else if (arg == "--fail-first") {
                if (!ToNumber(value, 0, 1LL << 40, number)) return error = "bad count: " + value, false;
                options.failFirst = number;
            } else if (arg == "--cache-mb") {
                if (!ToNumber(value, 0, 1LL << 20, number)) return error = "bad size: " + value, false;
                options.cacheBytes = static_cast<std::uint64_t>(number) << 20;
            } else if (arg == "--head-timeout" || arg == "--idle-timeout") {
                if (!ToNumber(value, 1, 86400, number)) return error = "bad time-out: " + value, false;
                (arg == "--head-timeout" ? options.limits.headTimeoutMs : options.limits.idleTimeoutMs) =
                    static_cast<int>(number) * 1000;
            } else if (arg == "--max-head-bytes") {
                // Room for the request line of a long file name, and no more than
                // a client could need.
                if (!ToNumber(value, 256, 1 << 20, number)) return error = "bad size: " + value, false;
                options.limits.maxHeadBytes = static_cast<std::size_t>(number);
            } else {
                if (!ToNumber(value, 1, 1000000, number)) return error = "bad count: " + value, false;
                (arg == "--max-connections" ? options.limits.maxConnections : options.limits.maxConnectionsPerAddress) =
                    static_cast<int>(number);
            }
        } else if (!arg.empty() && arg[0] == '-') {
            error = "unknown option: " + arg;
            return false;
        } else if (options.folder.empty()) {
            options.folder = arg;
        } else {
            error = "only one FOLDER";
            return false;
        }
    }
    if (options.folder.empty()) {
        error = "FOLDER is missing";
        return false;
    }
    if (options.folder.back() != '/') options.folder += '/';
    return true;
}

}  // namespace klv::update_server
