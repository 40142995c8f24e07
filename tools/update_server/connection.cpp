#include "connection.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>

#include "request_head.h"

namespace klv::server {
namespace {

const char* ReasonOf(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 400:
            return "Bad Request";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 431:
            return "Request Header Fields Too Large";
        case 503:
            return "Service Unavailable";
        default:
            return "Error";
    }
}

bool SendAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t sent = ::send(fd, data, size, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent <= 0) return false;
        data += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

// Reads more bytes into `buffer`; false on close, error or idle time-out.
bool ReceiveMore(int fd, std::string& buffer, int timeoutMs) {
    pollfd pfd{fd, POLLIN, 0};
    int ready;
    do ready = ::poll(&pfd, 1, timeoutMs);
    while (ready < 0 && errno == EINTR);
    if (ready <= 0) return false;
    char chunk[16384];
    ssize_t got;
    do got = ::recv(fd, chunk, sizeof chunk, 0);
    while (got < 0 && errno == EINTR);
    if (got <= 0) return false;
    buffer.append(chunk, static_cast<std::size_t>(got));
    return true;
}

Answer Plain(int status) {
    return Answer{status, std::make_shared<const std::string>(ReasonOf(status)), {}};
}

// Decides the answer to one complete head; `what` gets the log text.
Answer AnswerFor(const RequestHead& head, ServerContext& context, bool mustFail, std::string& what) {
    what = head.method + " " + head.target.substr(0, 200);
    if (mustFail) return Plain(503);
    if (head.method != "GET") return Plain(405);
    if (head.hasBody) return Plain(400);
    UpdateRequest request;
    if (!ParseUpdateRequest(head.target, request)) return Plain(400);
    what = Printable(request.plainText);
    return context.handler.Handle(request, head.cookie);
}

}  // namespace

std::string AnswerHead(int status, std::size_t contentLength, bool keepAlive, const std::string& setCookie) {
    std::string head = "HTTP/1.1 " + std::to_string(status) + " " + ReasonOf(status) + "\r\n";
    if (!setCookie.empty()) head += "Set-Cookie: " + setCookie + "\r\n";
    head += status == 200 ? "Content-Type: application/octet-stream\r\n" : "Content-Type: text/plain\r\n";
    head += "Content-Length: " + std::to_string(contentLength) + "\r\n";
    head += keepAlive ? "Connection: keep-alive\r\n" : "Connection: close\r\n";
    head += "\r\n";
    return head;
}

void ServeConnection(int fd, const std::string& peer, ServerContext& context) {
    std::string buffer;
    while (true) {
        RequestHead head;
        std::size_t consumed = 0;
        HeadStatus status;
        while ((status = ParseRequestHead(buffer, head, consumed)) == HeadStatus::Incomplete)
            if (!ReceiveMore(fd, buffer, context.idleTimeoutMs)) return;

        const auto started = std::chrono::steady_clock::now();
        const bool mustFail = context.log.Begin();
        Answer answer;
        std::string what;
        bool keepAlive = false;
        if (status == HeadStatus::Complete) {
            buffer.erase(0, consumed);
            answer = AnswerFor(head, context, mustFail, what);
            // A request body is not part of this protocol; rather than skip
            // it, end the connection after answering.
            keepAlive = head.keepAlive && !head.hasBody;
        } else {
            answer = Plain(status == HeadStatus::TooLarge ? 431 : 400);
            what = "(unreadable request head)";
        }
        const std::string& body = *answer.body;
        const std::string headBytes = AnswerHead(answer.status, body.size(), keepAlive, answer.setCookie);
        const bool sent = SendAll(fd, headBytes.data(), headBytes.size()) && SendAll(fd, body.data(), body.size());
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
        context.log.Line(peer, what, answer.status, sent ? body.size() : 0, ms);
        if (!sent || !keepAlive) return;
    }
}

}  // namespace klv::server
