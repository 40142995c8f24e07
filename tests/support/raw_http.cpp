#include "support/raw_http.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

namespace klv::test {

RawConnection::RawConnection(int port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd_ < 0 || ::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
        throw std::runtime_error("cannot connect to 127.0.0.1:" + std::to_string(port));
}

RawConnection::~RawConnection() {
    if (fd_ >= 0) ::close(fd_);
}

bool RawConnection::Send(const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t sent = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (sent <= 0) return false;
        done += static_cast<std::size_t>(sent);
    }
    return true;
}

bool RawConnection::Fill() {
    pollfd pfd{fd_, POLLIN, 0};
    if (::poll(&pfd, 1, 30000) <= 0) return false;
    char chunk[65536];
    const ssize_t got = ::recv(fd_, chunk, sizeof chunk, 0);
    if (got <= 0) return false;
    buffer_.append(chunk, static_cast<std::size_t>(got));
    return true;
}

RawAnswer RawConnection::Read() {
    RawAnswer answer;
    std::size_t end;
    while ((end = buffer_.find("\r\n\r\n")) == std::string::npos)
        if (!Fill()) return answer;
    answer.head = buffer_.substr(0, end + 2);
    buffer_.erase(0, end + 4);
    if (answer.head.rfind("HTTP/1.1 ", 0) == 0) answer.status = std::atoi(answer.head.c_str() + 9);
    std::size_t length = 0;
    const std::size_t at = answer.head.find("Content-Length: ");
    if (at != std::string::npos) length = std::strtoull(answer.head.c_str() + at + 16, nullptr, 10);
    while (buffer_.size() < length)
        if (!Fill()) break;
    answer.body = buffer_.substr(0, length);
    buffer_.erase(0, answer.body.size());
    return answer;
}

bool RawConnection::ClosedByPeer() {
    pollfd pfd{fd_, POLLIN, 0};
    if (::poll(&pfd, 1, 30000) <= 0) return false;
    char byte;
    return ::recv(fd_, &byte, 1, MSG_PEEK) == 0;
}

RawAnswer RawGet(int port, const std::string& target) {
    RawConnection connection(port);
    connection.Send("GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    return connection.Read();
}

}  // namespace klv::test
