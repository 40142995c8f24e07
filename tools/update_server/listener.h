#pragma once
// The listening socket and one thread per client connection.
#include <condition_variable>
#include <mutex>
#include <set>
#include <string>

#include "connection.h"

namespace klv::server {

class Listener {
public:
    // Most connections served at once; more are answered 503 and closed.
    static constexpr int kMaxConnections = 256;

    explicit Listener(ServerContext& context) : context_(context) {}
    ~Listener();

    // Binds and listens; false with a message on stderr when that fails.
    bool Open(const std::string& address, int port);
    int BoundPort() const { return port_; }

    // Accepts until `wakeFd` becomes readable, then shuts every open
    // connection down and waits for its thread to end.
    void Run(int wakeFd);

private:
    void StartConnection(int fd, const std::string& peer);
    void StopConnections();

    ServerContext& context_;
    int listenFd_ = -1;
    int port_ = 0;
    std::mutex mutex_;
    std::condition_variable idle_;
    std::set<int> open_;
};

}  // namespace klv::server
