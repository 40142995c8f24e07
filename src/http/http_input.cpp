#include "http/http_input.h"

#include <algorithm>
#include <cstring>

#include "http/http_errors.h"

namespace klv {

void InputBuffer::Consume(std::size_t count) {
    begin_ += std::min(count, Buffered());
    if (begin_ == end_) begin_ = end_ = 0;
}

bool InputBuffer::ReceiveOnce() {
    if (peerClosed_) return false;
    if (storage_.size() - end_ < kRecvBufferSize) {
        // Move the unread bytes to the front before growing, so a long body
        // read block by block keeps the buffer near two blocks.
        if (begin_ > 0) {
            std::memmove(storage_.data(), storage_.data() + begin_, end_ - begin_);
            end_ -= begin_;
            begin_ = 0;
        }
        if (storage_.size() - end_ < kRecvBufferSize) storage_.resize(end_ + kRecvBufferSize);
    }
    const std::size_t n = source_->Receive(storage_.data() + end_, kRecvBufferSize, timeoutMs_);
    if (n == 0) {
        peerClosed_ = true;
        return false;
    }
    end_ += std::min(n, kRecvBufferSize);
    return true;
}

bool InputBuffer::FillTo(std::size_t count) {
    while (Buffered() < count) {
        if (!ReceiveOnce()) return false;
    }
    return true;
}

std::string InputBuffer::ReadLn() {
    std::size_t searched = 0;
    for (;;) {
        const char* data = Data();
        const void* lf = Buffered() > searched ? std::memchr(data + searched, '\n', Buffered() - searched) : nullptr;
        if (lf) {
            const std::size_t length = static_cast<std::size_t>(static_cast<const char*>(lf) - data);
            if (length > kMaxLineLength) throw EIdReadLnMaxLineLengthExceeded();
            std::string line(data, length);
            Consume(length + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return line;
        }
        searched = Buffered();
        // A peer that never sends LF must not make the buffer grow without end.
        if (Buffered() > kMaxLineLength) throw EIdReadLnMaxLineLengthExceeded();
        if (!ReceiveOnce()) {
            if (Buffered() == 0) throw EIdConnClosedGracefully();
            std::string line(Data(), Buffered());
            Discard();
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return line;
        }
    }
}

}  // namespace klv
