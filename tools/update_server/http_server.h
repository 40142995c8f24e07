#pragma once
// The HTTP side of the update server, on Boost.Beast over Boost.Asio: one
// event loop per core, each owning the connections handed to it; a listener
// that turns away what is over the connection caps before it holds a slot;
// deadlines for whole request heads and for idle or stalled connections.
// What is said over HTTP is the protocol's (UpdateRequestHandler).
#include <memory>
#include <string>

#include "http_limits.h"
#include "request_log.h"
#include "update_request.h"

namespace klv::update_server {

class HttpServer {
public:
    HttpServer(UpdateRequestHandler& handler, RequestLog& log, const HttpLimits& limits);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Binds and listens on an IPv4 address; false with a message on stderr.
    bool Open(const std::string& address, int port);
    int BoundPort() const;

    // Serves until SIGINT or SIGTERM, then closes every connection and
    // returns once all of them are gone.
    void Run();

    struct Impl;  // defined beside the connections, which share it

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace klv::update_server
