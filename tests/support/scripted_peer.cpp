#include "support/scripted_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

namespace klv::test {

PeerAction ReadRequest() {
    return {PeerAction::ReadRequest, {}, 0};
}
PeerAction Send(std::string bytes) {
    return {PeerAction::Send, std::move(bytes), 0};
}
PeerAction Pause(int ms) {
    return {PeerAction::Pause, {}, ms};
}
PeerAction CloseNow() {
    return {PeerAction::Close, {}, 0};
}
PeerAction AwaitClose() {
    return {PeerAction::AwaitClose, {}, 0};
}

namespace {

int ListenOnLoopback(std::uint16_t& port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error("socket");
    const int yes = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd, 16) != 0) {
        close(fd);
        throw std::runtime_error("bind/listen");
    }
    socklen_t size = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    port = ntohs(address.sin_port);
    return fd;
}

bool Readable(int fd, int ms) {
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, ms) > 0;
}

}  // namespace

std::uint16_t UnusedLoopbackPort() {
    std::uint16_t port = 0;
    const int fd = ListenOnLoopback(port);
    close(fd);
    return port;
}

ScriptedPeer::ScriptedPeer(std::vector<std::vector<PeerAction>> scripts) : scripts_(std::move(scripts)) {
    listener_ = ListenOnLoopback(port_);
    thread_ = std::thread([this] { Run(); });
}

ScriptedPeer::~ScriptedPeer() {
    stopping_ = true;
    thread_.join();
    close(listener_);
}

std::string ScriptedPeer::Url(const std::string& pathAndQuery) const {
    return "http://127.0.0.1:" + std::to_string(port_) + pathAndQuery;
}

std::vector<std::string> ScriptedPeer::Received() const {
    std::lock_guard<std::mutex> guard(lock_);
    return received_;
}

int ScriptedPeer::Connections() const {
    std::lock_guard<std::mutex> guard(lock_);
    return static_cast<int>(received_.size());
}

void ScriptedPeer::WaitUntilDone(int limitMs) const {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (!done_ && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

void ScriptedPeer::Record(std::size_t index, const char* data, std::size_t size) {
    std::lock_guard<std::mutex> guard(lock_);
    received_[index].append(data, size);
}

void ScriptedPeer::Run() {
    std::size_t index = 0;
    while (!stopping_) {
        if (index >= scripts_.size()) done_ = true;
        if (!Readable(listener_, 20)) continue;
        const int fd = accept(listener_, nullptr, nullptr);
        if (fd < 0) continue;
        {
            std::lock_guard<std::mutex> guard(lock_);
            received_.emplace_back();
        }
        if (index < scripts_.size()) {
            Play(fd, index, scripts_[index]);
        } else {
            // Unscripted: record what is already there, then hang up.
            char buffer[4096];
            if (Readable(fd, 50)) {
                const ssize_t n = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
                if (n > 0) Record(index, buffer, static_cast<std::size_t>(n));
            }
            close(fd);
        }
        ++index;
    }
}

void ScriptedPeer::Play(int fd, std::size_t index, const std::vector<PeerAction>& script) {
    std::size_t headsSeen = 0;
    auto countHeads = [&] {
        const std::string all = Received()[index];
        std::size_t count = 0;
        for (std::size_t at = all.find("\r\n\r\n"); at != std::string::npos; at = all.find("\r\n\r\n", at + 4)) ++count;
        return count;
    };
    // Reads what is there; false once the client has closed.
    auto readSome = [&](int ms) {
        if (!Readable(fd, ms)) return true;
        char buffer[65536];
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) return false;
        Record(index, buffer, static_cast<std::size_t>(n));
        return true;
    };
    bool open = true;
    for (const PeerAction& action : script) {
        if (stopping_) break;
        switch (action.kind) {
            case PeerAction::ReadRequest:
                ++headsSeen;
                while (open && !stopping_ && countHeads() < headsSeen) open = readSome(20);
                break;
            case PeerAction::Send: {
                std::size_t sent = 0;
                while (sent < action.bytes.size()) {
                    const ssize_t n = send(fd, action.bytes.data() + sent, action.bytes.size() - sent, MSG_NOSIGNAL);
                    if (n <= 0) break;
                    sent += static_cast<std::size_t>(n);
                }
                break;
            }
            case PeerAction::Pause:
                std::this_thread::sleep_for(std::chrono::milliseconds(action.ms));
                break;
            case PeerAction::Close:
                close(fd);
                return;
            case PeerAction::AwaitClose:
                break;
        }
    }
    while (open && !stopping_) open = readSome(20);
    close(fd);
}

}  // namespace klv::test
