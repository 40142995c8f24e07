#include "listener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdio.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

namespace klv::server {
namespace {

std::string PeerName(const sockaddr_in& addr) {
    char text[INET_ADDRSTRLEN] = "?";
    ::inet_ntop(AF_INET, &addr.sin_addr, text, sizeof text);
    return std::string(text) + ":" + std::to_string(ntohs(addr.sin_port));
}

}  // namespace

Listener::~Listener() {
    if (listenFd_ >= 0) ::close(listenFd_);
}

bool Listener::Open(const std::string& address, int port) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    if (::inet_pton(AF_INET, address.c_str(), &addr.sin_addr) != 1) {
        fprintf(stderr, "klv-update-server: not an IPv4 address: %s\n", address.c_str());
        return false;
    }
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (listenFd_ < 0 || ::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listenFd_, 128) != 0) {
        fprintf(stderr, "klv-update-server: cannot listen on %s:%d: %s\n", address.c_str(), port, strerror(errno));
        return false;
    }
    socklen_t len = sizeof addr;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    return true;
}

void Listener::Run(int wakeFd) {
    while (true) {
        pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakeFd, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[1].revents) break;
        if (!(fds[0].revents & POLLIN)) continue;
        sockaddr_in peer{};
        socklen_t len = sizeof peer;
        const int fd = ::accept4(listenFd_, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_CLOEXEC);
        if (fd < 0) continue;  // the peer gave up, or descriptors ran out for a moment
        const int on = 1;
        // Answers go out as head + body in two sends; do not let the body wait.
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        StartConnection(fd, PeerName(peer));
    }
    StopConnections();
}

void Listener::StartConnection(int fd, const std::string& peer) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (open_.size() >= static_cast<std::size_t>(kMaxConnections)) {
            const std::string busy = AnswerHead(503, 0, false);
            ::send(fd, busy.data(), busy.size(), MSG_NOSIGNAL);
            ::close(fd);
            return;
        }
        open_.insert(fd);
    }
    std::thread([this, fd, peer] {
        ServeConnection(fd, peer, context_);
        std::lock_guard<std::mutex> lock(mutex_);
        open_.erase(fd);
        ::close(fd);
        idle_.notify_all();
    }).detach();
}

void Listener::StopConnections() {
    std::unique_lock<std::mutex> lock(mutex_);
    // Wakes every connection thread out of its poll or send.
    for (const int fd : open_) ::shutdown(fd, SHUT_RDWR);
    idle_.wait(lock, [this] { return open_.empty(); });
}

}  // namespace klv::server
