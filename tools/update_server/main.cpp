// klv-update-server: the update server of the launcher's protocol, serving
// one package folder over HTTP/1.1 on loopback or a chosen address.
#include <signal.h>
#include <stdio.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include "body_cache.h"
#include "http_server.h"
#include "server_options.h"

namespace {

// Every connection is a descriptor: raise the soft limit as far as the hard
// one allows, and keep the connection cap below what can really be opened.
int UsableConnectionCap(int wanted) {
    constexpr rlim_t kSpare = 64;  // listener, log, stats, package files being read
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return wanted;
    const rlim_t needed = static_cast<rlim_t>(wanted) + kSpare;
    if (limit.rlim_cur < needed) {
        limit.rlim_cur = limit.rlim_max == RLIM_INFINITY || limit.rlim_max >= needed ? needed : limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
        ::getrlimit(RLIMIT_NOFILE, &limit);
    }
    if (limit.rlim_cur >= needed) return wanted;
    const int usable = limit.rlim_cur > kSpare ? static_cast<int>(limit.rlim_cur - kSpare) : 1;
    fprintf(stderr, "klv-update-server: at most %d connections (the descriptor limit is %llu)\n", usable,
            static_cast<unsigned long long>(limit.rlim_cur));
    return usable;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace klv::update_server;
    ServerOptions options;
    std::string error;
    if (!ParseServerOptions(argc, argv, options, error)) {
        fprintf(stderr, "klv-update-server: %s\n%s", error.c_str(), ServerUsage().c_str());
        return 2;
    }
    if (options.help) {
        fputs(ServerUsage().c_str(), stdout);
        return 0;
    }
    struct stat st {};
    if (::stat(options.folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        fprintf(stderr, "klv-update-server: not a folder: %s\n", options.folder.c_str());
        return 2;
    }
    ::signal(SIGPIPE, SIG_IGN);

    HttpLimits limits = options.limits;
    limits.maxConnections = UsableConnectionCap(limits.maxConnections);

    BodyCache cache(options.cacheBytes);
    UpdateRequestHandler handler(options.folder, cache);
    RequestLog log(options.statsPath, options.failFirst);
    HttpServer server(handler, log, limits);
    if (!server.Open(options.bind, options.port)) return 1;
    printf("listening on %s:%d\n", options.bind.c_str(), server.BoundPort());
    fflush(stdout);

    server.Run();
    fprintf(stderr, "klv-update-server: stopped after %lld requests\n", static_cast<long long>(log.Count()));
    return 0;
}
