#pragma once
// The narrow TCP layer under the HTTP transport: IPv4 only, one blocking-style
// connection per object with explicit time-outs on every wait. Failures are
// reported as a Windows-socket error number and a fixed English text, captured
// where the system call failed, so both platforms raise the same failures.
#include <cstddef>
#include <cstdint>
#include <string>

namespace klv::platform {

struct SocketFailure {
    int code = 0;
    std::string text;
};

// Windows-socket error numbers used on both platforms.
constexpr int kSocketHostNotFound = 11001;
constexpr int kSocketTimedOut = 10060;
constexpr int kSocketConnectionRefused = 10061;
constexpr int kSocketAddressNotAvailable = 10049;

// Fixed English text of a Windows-socket error number ("Connection refused.").
std::string SocketErrorText(int code);
SocketFailure MakeSocketFailure(int code);

// Keeps the socket library started while alive. On Windows the first instance
// in the process starts Winsock 2.2 and the last one to go stops it; a lock
// guards the count so that client objects can be made on any thread.
class SocketLibrary {
public:
    SocketLibrary();
    ~SocketLibrary();
    SocketLibrary(const SocketLibrary&) = delete;
    SocketLibrary& operator=(const SocketLibrary&) = delete;
    // Whether the start succeeded; when it did not, connecting fails.
    bool Started() const { return started_; }

private:
    bool started_ = false;
};

// Resolves a host to an IPv4 address in network order. "localhost" (any case)
// is 127.0.0.1 without a look-up, a dotted address is taken as it stands, any
// other name is looked up and its first IPv4 address used.
bool ResolveIpv4(const std::string& host, std::uint32_t& address, SocketFailure& failure);

enum class ReceiveStatus { Data, Closed, TimedOut, Failed };

class TcpSocket {
public:
    TcpSocket() = default;
    ~TcpSocket() { Close(); }
    TcpSocket(const TcpSocket&) = delete;
    TcpSocket& operator=(const TcpSocket&) = delete;

    // Resolves, creates, binds to any local address and connects within
    // `timeoutMs` (<= 0: no limit). A failure leaves no socket behind.
    bool Connect(const std::string& host, std::uint16_t port, int timeoutMs, SocketFailure& failure);
    // Repeats partial sends until every byte is out.
    bool SendAll(const char* data, std::size_t size, SocketFailure& failure);
    // Waits at most `timeoutMs` (<= 0: no limit) for data, then takes up to
    // `capacity` bytes. Closed means the peer ended its side.
    ReceiveStatus Receive(char* buffer, std::size_t capacity, std::size_t& received, int timeoutMs,
                          SocketFailure& failure);
    // True when, within `timeoutMs`, data arrived or the peer closed (or the
    // socket failed): an idle kept-alive connection should have neither.
    bool ReadableWithin(int timeoutMs);
    // Shuts down the sending side and closes; buffered input is dropped.
    void Close();
    bool IsOpen() const { return handle_ != kInvalid; }

private:
    static constexpr std::intptr_t kInvalid = -1;
    std::intptr_t handle_ = kInvalid;
};

}  // namespace klv::platform
