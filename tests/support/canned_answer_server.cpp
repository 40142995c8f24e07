#include "support/canned_answer_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace klv::test {

CannedAnswerServer::CannedAnswerServer(std::string answer) : answer_(std::move(answer)) {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (listenFd_ < 0 || ::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listenFd_, 16) != 0 || ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
        throw std::runtime_error("canned server cannot listen");
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread([this] { Serve(); });
}

CannedAnswerServer::~CannedAnswerServer() {
    stopping_ = true;
    thread_.join();
    ::close(listenFd_);
}

std::string CannedAnswerServer::LastHead() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lastHead_;
}

std::string CannedAnswerServer::Ok(const std::string& body) {
    return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

void CannedAnswerServer::Serve() {
    while (!stopping_) {
        pollfd pfd{listenFd_, POLLIN, 0};
        if (::poll(&pfd, 1, 50) <= 0) continue;
        const int fd = ::accept(listenFd_, nullptr, nullptr);
        if (fd < 0) continue;
        std::string head;
        char chunk[4096];
        while (head.find("\r\n\r\n") == std::string::npos) {
            pollfd cfd{fd, POLLIN, 0};
            if (::poll(&cfd, 1, 10000) <= 0) break;
            const ssize_t got = ::recv(fd, chunk, sizeof chunk, 0);
            if (got <= 0) break;
            head.append(chunk, static_cast<std::size_t>(got));
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            lastHead_ = head;
        }
        ++requests_;
        ::send(fd, answer_.data(), answer_.size(), MSG_NOSIGNAL);
        ::shutdown(fd, SHUT_WR);
        ::close(fd);
    }
}

}  // namespace klv::test
