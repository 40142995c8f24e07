// klv-update-server: the update server of the launcher's protocol, serving
// one package folder over HTTP/1.1 on loopback or a chosen address.
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "body_cache.h"
#include "listener.h"
#include "server_options.h"

namespace {

int g_wakeWrite = -1;

// Async-signal-safe: the accept loop sees the byte and shuts down cleanly.
void OnStopSignal(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(g_wakeWrite, &byte, 1);
    errno = saved;
}

bool InstallStopSignals(int wakeWrite) {
    g_wakeWrite = wakeWrite;
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return ::sigaction(SIGINT, &action, nullptr) == 0 && ::sigaction(SIGTERM, &action, nullptr) == 0 &&
           ::signal(SIGPIPE, SIG_IGN) != SIG_ERR;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace klv::server;
    ServerOptions options;
    std::string error;
    if (!ParseServerOptions(argc, argv, options, error)) {
        fprintf(stderr, "klv-update-server: %s\n%s", error.c_str(), kServerUsage);
        return 2;
    }
    if (options.help) {
        fputs(kServerUsage, stdout);
        return 0;
    }
    struct stat st {};
    if (::stat(options.folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        fprintf(stderr, "klv-update-server: not a folder: %s\n", options.folder.c_str());
        return 2;
    }
    int wake[2];
    if (::pipe2(wake, O_CLOEXEC) != 0 || !InstallStopSignals(wake[1])) {
        perror("klv-update-server");
        return 1;
    }

    BodyCache cache(options.cacheBytes);
    UpdateRequestHandler handler(options.folder, cache);
    RequestLog log(options.statsPath, options.failFirst);
    ServerContext context{handler, log};
    Listener listener(context);
    if (!listener.Open(options.bind, options.port)) return 1;
    printf("listening on %s:%d\n", options.bind.c_str(), listener.BoundPort());
    fflush(stdout);

    listener.Run(wake[0]);
    fprintf(stderr, "klv-update-server: stopped after %lld requests\n", static_cast<long long>(log.Count()));
    return 0;
}
