#pragma once
// A loopback HTTP peer on a thread of its own, with real sockets: it listens on
// an ephemeral port of 127.0.0.1, accepts connections one after the other and
// plays one script per connection, recording every byte it received.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace klv::test {

struct PeerAction {
    enum Kind {
        ReadRequest,  // read until one more request head (CR LF CR LF) has come
        Send,         // send `bytes`
        Pause,        // wait `ms`, reading nothing
        Close,        // close the connection now
        AwaitClose,   // stay silent until the client closes (or the peer stops)
    };
    Kind kind;
    std::string bytes;
    int ms = 0;
};

// Shorthands for scripts.
PeerAction ReadRequest();
PeerAction Send(std::string bytes);
PeerAction Pause(int ms);
PeerAction CloseNow();
PeerAction AwaitClose();

class ScriptedPeer {
public:
    // One script per expected connection; a script that ends without Close
    // waits for the client to close. Connections beyond the scripts are
    // accepted, recorded and closed at once.
    explicit ScriptedPeer(std::vector<std::vector<PeerAction>> scripts);
    ~ScriptedPeer();
    ScriptedPeer(const ScriptedPeer&) = delete;
    ScriptedPeer& operator=(const ScriptedPeer&) = delete;

    std::uint16_t Port() const { return port_; }
    std::string Url(const std::string& pathAndQuery = "/") const;
    // Bytes received on each connection so far, in the order of acceptance.
    std::vector<std::string> Received() const;
    int Connections() const;
    // Waits (bounded) until the peer has finished every script.
    void WaitUntilDone(int limitMs = 10000) const;

private:
    void Run();
    void Play(int fd, std::size_t index, const std::vector<PeerAction>& script);
    void Record(std::size_t index, const char* data, std::size_t size);

    std::vector<std::vector<PeerAction>> scripts_;
    int listener_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> done_{false};
    mutable std::mutex lock_;
    std::vector<std::string> received_;
    std::thread thread_;
};

// A port on 127.0.0.1 where nothing listens (bound, then released).
std::uint16_t UnusedLoopbackPort();

}  // namespace klv::test
