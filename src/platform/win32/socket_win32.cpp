#include <winsock2.h>

#include <mutex>

#include "platform/socket.h"

namespace klv::platform {
namespace {

std::mutex g_libraryLock;
int g_libraryUsers = 0;
bool g_libraryStarted = false;

SOCKET Handle(std::intptr_t h) {
    return static_cast<SOCKET>(h);
}

// Waits with select(): WSAPoll misreports refused connects on some systems.
// <= 0 waits without limit. Returns >0 ready, 0 time-out, <0 failure.
int WaitFor(SOCKET s, bool forWrite, int timeoutMs, bool* failedConnect = nullptr) {
    fd_set readable, writable, failed;
    FD_ZERO(&readable);
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    if (forWrite) {
        FD_SET(s, &writable);
        FD_SET(s, &failed);
    } else {
        FD_SET(s, &readable);
    }
    timeval limit{};
    limit.tv_sec = timeoutMs / 1000;
    limit.tv_usec = (timeoutMs % 1000) * 1000;
    const int r = select(0, &readable, &writable, &failed, timeoutMs > 0 ? &limit : nullptr);
    if (failedConnect) *failedConnect = r > 0 && FD_ISSET(s, &failed);
    return r;
}

}  // namespace

SocketLibrary::SocketLibrary() {
    std::lock_guard<std::mutex> lock(g_libraryLock);
    if (g_libraryUsers == 0) {
        WSADATA data{};
        g_libraryStarted = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    ++g_libraryUsers;
    started_ = g_libraryStarted;
}

SocketLibrary::~SocketLibrary() {
    std::lock_guard<std::mutex> lock(g_libraryLock);
    if (--g_libraryUsers == 0 && g_libraryStarted) {
        WSACleanup();
        g_libraryStarted = false;
    }
}

bool TcpSocket::Connect(const std::string& host, std::uint16_t port, int timeoutMs, SocketFailure& failure) {
    Close();
    std::uint32_t address = 0;
    if (!ResolveIpv4(host, address, failure)) return false;
    const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) {
        failure = MakeSocketFailure(WSAGetLastError());
        return false;
    }
    handle_ = static_cast<std::intptr_t>(s);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    if (bind(s, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        failure = MakeSocketFailure(WSAGetLastError());
        Close();
        return false;
    }
    // Non-blocking only for the connect, so that it can be given up on.
    u_long nonBlocking = 1;
    ioctlsocket(s, FIONBIO, &nonBlocking);
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(port);
    remote.sin_addr.s_addr = address;
    if (connect(s, reinterpret_cast<sockaddr*>(&remote), sizeof remote) != 0) {
        const int error = WSAGetLastError();
        if (error != WSAEWOULDBLOCK) {
            failure = MakeSocketFailure(error);
            Close();
            return false;
        }
        bool refused = false;
        const int ready = WaitFor(s, true, timeoutMs, &refused);
        int soError = 0;
        int size = sizeof soError;
        if (ready > 0) getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soError), &size);
        if (ready <= 0 || refused || soError != 0) {
            failure = MakeSocketFailure(ready == 0  ? kSocketTimedOut
                                        : ready < 0 ? WSAGetLastError()
                                        : soError   ? soError
                                                    : kSocketConnectionRefused);
            Close();
            return false;
        }
    }
    u_long blocking = 0;
    ioctlsocket(s, FIONBIO, &blocking);
    return true;
}

bool TcpSocket::SendAll(const char* data, std::size_t size, SocketFailure& failure) {
    if (!IsOpen()) {
        failure = MakeSocketFailure(WSAENOTSOCK);
        return false;
    }
    while (size > 0) {
        const int chunk = size > 0x10000000 ? 0x10000000 : static_cast<int>(size);
        const int sent = send(Handle(handle_), data, chunk, 0);
        if (sent == SOCKET_ERROR) {
            failure = MakeSocketFailure(WSAGetLastError());
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
        failure = MakeSocketFailure(WSAENOTSOCK);
        return ReceiveStatus::Failed;
    }
    const int ready = WaitFor(Handle(handle_), false, timeoutMs);
    if (ready == 0) return ReceiveStatus::TimedOut;
    if (ready < 0) {
        failure = MakeSocketFailure(WSAGetLastError());
        return ReceiveStatus::Failed;
    }
    const int want = capacity > 0x10000000 ? 0x10000000 : static_cast<int>(capacity);
    const int n = recv(Handle(handle_), buffer, want, 0);
    if (n == SOCKET_ERROR) {
        failure = MakeSocketFailure(WSAGetLastError());
        return ReceiveStatus::Failed;
    }
    if (n == 0) return ReceiveStatus::Closed;
    received = static_cast<std::size_t>(n);
    return ReceiveStatus::Data;
}

bool TcpSocket::ReadableWithin(int timeoutMs) {
    if (!IsOpen()) return true;
    if (timeoutMs > 0) return WaitFor(Handle(handle_), false, timeoutMs) != 0;
    // A zero limit asks without waiting (WaitFor would take it as no limit).
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(Handle(handle_), &readable);
    timeval now{};
    return select(0, &readable, nullptr, nullptr, &now) != 0;
}

void TcpSocket::Close() {
    if (!IsOpen()) return;
    shutdown(Handle(handle_), SD_SEND);
    closesocket(Handle(handle_));
    handle_ = kInvalid;
}

}  // namespace klv::platform
