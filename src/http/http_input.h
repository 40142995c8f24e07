#pragma once
// The input side of a connection: an abstract byte source (the socket, or a
// script in tests and fuzzing) and the buffer of bytes received but not yet
// consumed, with the line reader that status, header and chunk-size lines go
// through.
#include <cstddef>
#include <string>
#include <vector>

namespace klv {

// Largest block read from the source, and largest body block per work event.
constexpr std::size_t kRecvBufferSize = 32768;
// Longest line accepted: the bytes before its LF, a CR included.
constexpr std::size_t kMaxLineLength = 16384;

class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Receives up to `capacity` (> 0) bytes, waiting at most `timeoutMs` of
    // silence. Returns 0 when the peer has closed. Raises EIdReadTimeout or
    // EIdSocketError.
    virtual std::size_t Receive(char* buffer, std::size_t capacity, int timeoutMs) = 0;
};

class InputBuffer {
public:
    explicit InputBuffer(ByteSource& source) : source_(&source) {}

    void SetTimeoutMs(int ms) { timeoutMs_ = ms; }
    int TimeoutMs() const { return timeoutMs_; }
    bool PeerClosed() const { return peerClosed_; }

    // One line up to LF, with one CR before the LF dropped. A last line that
    // the peer ended without LF is returned as it stands. Raises
    // EIdConnClosedGracefully when the peer closed with nothing buffered, and
    // EIdReadLnMaxLineLengthExceeded for a line over kMaxLineLength.
    std::string ReadLn();

    std::size_t Buffered() const { return end_ - begin_; }
    const char* Data() const { return storage_.data() + begin_; }
    void Consume(std::size_t count);
    // Receives until at least `count` bytes are buffered; false when the peer
    // closed first (what arrived stays buffered).
    bool FillTo(std::size_t count);
    // Drops everything buffered.
    void Discard() { begin_ = end_ = 0; }
    // Forgets the closed state, for a fresh connection.
    void Reset() {
        Discard();
        peerClosed_ = false;
    }

private:
    // One receive of up to kRecvBufferSize bytes; false when the peer closed.
    bool ReceiveOnce();

    ByteSource* source_;
    std::vector<char> storage_;
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
    int timeoutMs_ = 0;
    bool peerClosed_ = false;
};

}  // namespace klv
