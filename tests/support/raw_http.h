#pragma once
// A bare HTTP exchange over a loopback socket, for tests that must send bytes
// the real client never would (malformed heads, raw targets, pipelining).
#include <string>

namespace klv::test {

struct RawAnswer {
    int status = -1;   // -1 when no status line arrived
    std::string head;  // status line and headers
    std::string body;
};

class RawConnection {
public:
    explicit RawConnection(int port);  // connects to 127.0.0.1:port
    ~RawConnection();
    RawConnection(const RawConnection&) = delete;
    RawConnection& operator=(const RawConnection&) = delete;

    bool Send(const std::string& bytes);
    // Reads one answer (head, then Content-Length bytes). Hang guard 30 s.
    RawAnswer Read();
    // True when the server has closed the connection (reads EOF).
    bool ClosedByPeer();

private:
    bool Fill();
    int fd_ = -1;
    std::string buffer_;
};

// One request on a fresh connection: "GET target HTTP/1.1" with a Host header.
RawAnswer RawGet(int port, const std::string& target);

}  // namespace klv::test
