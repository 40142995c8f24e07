#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "platform/socket.h"

namespace klv::platform {
namespace {

// errno numbers mapped onto the Windows-socket numbers, so that failures read
// the same on both platforms.
int WsaCodeOf(int error) {
    switch (error) {
        case EINTR:
            return 10004;
        case EACCES:
            return 10013;
        case EFAULT:
            return 10014;
        case EINVAL:
            return 10022;
        case EMFILE:
            return 10024;
        case EAGAIN:
            return 10035;
        case ENOTSOCK:
            return 10038;
        case EAFNOSUPPORT:
            return 10047;
        case EADDRINUSE:
            return 10048;
        case EADDRNOTAVAIL:
            return 10049;
        case ENETDOWN:
            return 10050;
        case ENETUNREACH:
            return 10051;
        case ENETRESET:
            return 10052;
        case ECONNABORTED:
            return 10053;
        case ECONNRESET:
            return 10054;
        case EPIPE:
            return 10054;
        case ENOBUFS:
            return 10055;
        case ENOTCONN:
            return 10057;
        case ESHUTDOWN:
            return 10058;
        case ETIMEDOUT:
            return 10060;
        case ECONNREFUSED:
            return 10061;
        case EHOSTDOWN:
            return 10064;
        case EHOSTUNREACH:
            return 10065;
        default:
            return 10000 + error;
    }
}

SocketFailure FailureFromErrno(int error) {
    return MakeSocketFailure(WsaCodeOf(error));
}

// Waits for `events` on `fd`; <= 0 waits without limit. Returns >0 ready,
// 0 time-out, <0 failure (errno set).
int WaitFor(int fd, short events, int timeoutMs) {
    pollfd p{};
    p.fd = fd;
    p.events = events;
    for (;;) {
        const int r = poll(&p, 1, timeoutMs > 0 ? timeoutMs : -1);
        if (r < 0 && errno == EINTR) continue;
        return r;
    }
}

}  // namespace

SocketLibrary::SocketLibrary() : started_(true) {}
SocketLibrary::~SocketLibrary() = default;

bool TcpSocket::Connect(const std::string& host, std::uint16_t port, int timeoutMs, SocketFailure& failure) {
    Close();
    std::uint32_t address = 0;
    if (!ResolveIpv4(host, address, failure)) return false;
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        failure = FailureFromErrno(errno);
        return false;
    }
    handle_ = fd;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        failure = FailureFromErrno(errno);
        Close();
        return false;
    }
    // Non-blocking only for the connect, so that it can be given up on.
    const int flags = fcntl(fd, F_GETFL, 0);
    fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(port);
    remote.sin_addr.s_addr = address;
    if (connect(fd, reinterpret_cast<sockaddr*>(&remote), sizeof remote) != 0) {
        if (errno != EINPROGRESS) {
            failure = FailureFromErrno(errno);
            Close();
            return false;
        }
        const int ready = WaitFor(fd, POLLOUT, timeoutMs);
        if (ready <= 0) {
            failure = ready == 0 ? MakeSocketFailure(kSocketTimedOut) : FailureFromErrno(errno);
            Close();
            return false;
        }
        int error = 0;
        socklen_t size = sizeof error;
        getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size);
        if (error != 0) {
            failure = FailureFromErrno(error);
            Close();
            return false;
        }
    }
    fcntl(fd, F_SETFL, flags);
    return true;
}

bool TcpSocket::SendAll(const char* data, std::size_t size, SocketFailure& failure) {
    if (!IsOpen()) {
        failure = MakeSocketFailure(10038);
        return false;
    }
    while (size > 0) {
        const ssize_t sent = send(static_cast<int>(handle_), data, size, MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EINTR) continue;
            failure = FailureFromErrno(errno);
            return false;
        }
        data += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

ReceiveStatus TcpSocket::Receive(char* buffer, std::size_t capacity, std::size_t& received, int timeoutMs,
                                 SocketFailure& failure) {
    received = 0;
    if (!IsOpen()) {
        failure = MakeSocketFailure(10038);
        return ReceiveStatus::Failed;
    }
    const int fd = static_cast<int>(handle_);
    // Data already waiting is taken without a poll, halving the system calls
    // of a bulk download; only an empty socket is waited on.
    bool waited = false;
    for (;;) {
        const ssize_t n = recv(fd, buffer, capacity, waited ? 0 : MSG_DONTWAIT);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && !waited && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            const int ready = WaitFor(fd, POLLIN, timeoutMs);
            if (ready == 0) return ReceiveStatus::TimedOut;
            if (ready < 0) {
                failure = FailureFromErrno(errno);
                return ReceiveStatus::Failed;
            }
            waited = true;
            continue;
        }
        if (n < 0) {
            failure = FailureFromErrno(errno);
            return ReceiveStatus::Failed;
        }
        if (n == 0) return ReceiveStatus::Closed;
        received = static_cast<std::size_t>(n);
        return ReceiveStatus::Data;
    }
}

bool TcpSocket::ReadableWithin(int timeoutMs) {
    if (!IsOpen()) return true;
    pollfd p{};
    p.fd = static_cast<int>(handle_);
    p.events = POLLIN;
    const int r = poll(&p, 1, timeoutMs);
    return r != 0;
}

void TcpSocket::Close() {
    if (!IsOpen()) return;
    const int fd = static_cast<int>(handle_);
    shutdown(fd, SHUT_WR);
    close(fd);
    handle_ = kInvalid;
}

}  // namespace klv::platform
