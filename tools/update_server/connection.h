#pragma once
// One client connection: reads request heads, answers them, keeps the
// connection open as HTTP/1.1 allows.
#include <string>

#include "request_log.h"
#include "update_request.h"

namespace klv::server {

struct ServerContext {
    UpdateRequestHandler& handler;
    RequestLog& log;
    int idleTimeoutMs = 60000;  // an idle connection is closed after this
};

// Serves `fd` until the peer closes, a request asks to close, the head is
// malformed, or the connection stays idle. Does not close `fd`.
void ServeConnection(int fd, const std::string& peer, ServerContext& context);

// The bytes of an answer head.
std::string AnswerHead(int status, std::size_t contentLength, bool keepAlive, const std::string& setCookie = {});

}  // namespace klv::server
