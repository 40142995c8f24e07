#include "http/http_body.h"

#include <algorithm>
#include <limits>

#include "http/http_errors.h"

namespace klv {
namespace {

std::int32_t Clamp32(std::int64_t value) {
    return static_cast<std::int32_t>(std::min<std::int64_t>(value, std::numeric_limits<std::int32_t>::max()));
}

// Closes the work period on every way out, failures included.
class WorkPeriod {
public:
    WorkPeriod(WorkMeter& meter, std::int64_t countMax) : meter_(meter) { meter_.Begin(countMax); }
    ~WorkPeriod() { meter_.End(); }
    WorkPeriod(const WorkPeriod&) = delete;
    WorkPeriod& operator=(const WorkPeriod&) = delete;

private:
    WorkMeter& meter_;
};

void TakeToSink(InputBuffer& input, std::size_t count, BodySink& sink) {
    sink.Write(input.Data(), count);
    input.Consume(count);
}

// A counted read of `length` bytes. The bytes that came with the head go first
// in one piece; then whole blocks, each taken only once received in full. An
// early close keeps what was taken and drops the partial block. Blocks pass
// through the input buffer, which stays small and warm in the cache, so the
// sink's memory is written once, by the copy out of it, and never cleared
// ahead of the data.
void ReadCounted(InputBuffer& input, std::int64_t length, BodySink& sink, WorkMeter& meter) {
    WorkPeriod period(meter, length);
    std::int64_t remaining = length;
    if (input.Buffered() > 0) {
        const auto first =
            static_cast<std::size_t>(std::min<std::int64_t>(remaining, static_cast<std::int64_t>(input.Buffered())));
        TakeToSink(input, first, sink);
        meter.Add(first);
        remaining -= static_cast<std::int64_t>(first);
    }
    while (remaining > 0) {
        const auto block = static_cast<std::size_t>(std::min<std::int64_t>(remaining, kRecvBufferSize));
        if (!input.FillTo(block)) return;
        TakeToSink(input, block, sink);
        meter.Add(block);
        remaining -= static_cast<std::int64_t>(block);
    }
}

void ReadContentLength(InputBuffer& input, std::int32_t length, BodySink& sink, WorkMeter& meter,
                       const BodyLimits& limits) {
    if (static_cast<std::size_t>(length) <= limits.presizeLimit) sink.Expect(static_cast<std::uint64_t>(length));
    ReadCounted(input, length, sink, meter);
}

void ReadChunked(InputBuffer& input, BodySink& sink, WorkMeter& meter) {
    for (;;) {
        const std::int64_t size = ParseChunkSize(input.ReadLn());
        if (size <= 0) break;
        ReadCounted(input, size, sink, meter);
        input.ReadLn();  // the CR LF after the chunk data
    }
    // The line after the last chunk. A peer that closes right after the
    // last chunk has still delivered the whole body.
    try {
        input.ReadLn();
    } catch (const EIdConnClosedGracefully&) {
    }
}

void ReadUntilClose(InputBuffer& input, BodySink& sink, WorkMeter& meter) {
    WorkPeriod period(meter, 0);
    if (input.Buffered() > 0) {
        const std::size_t first = input.Buffered();
        TakeToSink(input, first, sink);
        meter.Add(first);
    }
    for (;;) {
        if (!input.FillTo(kRecvBufferSize)) {
            // The last, shorter block goes in without a work event.
            TakeToSink(input, input.Buffered(), sink);
            return;
        }
        TakeToSink(input, kRecvBufferSize, sink);
        meter.Add(kRecvBufferSize);
    }
}

}  // namespace

void WorkMeter::Begin(std::int64_t countMax) {
    if (level_++ > 0) return;
    count_ = 0;
    if (listener_) listener_->WorkBegin(Clamp32(countMax));
}

void WorkMeter::Add(std::size_t bytes) {
    count_ += static_cast<std::int64_t>(bytes);
    if (listener_) listener_->Work(Clamp32(count_));
}

void WorkMeter::End() {
    if (level_ == 0) return;
    if (--level_ == 0 && listener_) listener_->WorkEnd();
}

std::int64_t ParseChunkSize(const std::string& line) {
    const std::string digits = line.substr(0, line.find(' '));
    if (digits.empty() || digits.size() > 8) return 0;
    std::int64_t size = 0;
    for (char c : digits) {
        int digit;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        } else {
            return 0;
        }
        size = size * 16 + digit;
    }
    return size;
}

void ReadBody(InputBuffer& input, const ResponseHead& head, BodySink& sink, WorkMeter& meter,
              const BodyLimits& limits) {
    if (head.contentLength > 0) {
        ReadContentLength(input, head.contentLength, sink, meter, limits);
    } else if (head.transferEncoding.find("chunked") != std::string::npos) {
        ReadChunked(input, sink, meter);
    } else if (!head.HasContentLength()) {
        ReadUntilClose(input, sink, meter);
    }
}

}  // namespace klv
