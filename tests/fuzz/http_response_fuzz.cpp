// Any bytes from a server must end in a result or one of the transport's
// failure kinds: never a crash, a hang or unbounded memory. The input is cut
// into receive slices of varying size to cross every buffer boundary.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "http/cookie_jar.h"
#include "http/http_body.h"
#include "http/http_errors.h"
#include "http/http_input.h"
#include "http/http_response.h"

namespace {

class SlicedSource : public klv::ByteSource {
public:
    SlicedSource(const std::uint8_t* data, std::size_t size, std::uint8_t slicing)
        : data_(data), size_(size), slicing_(slicing) {}
    std::size_t Receive(char* buffer, std::size_t capacity, int) override {
        if (offset_ >= size_) return 0;
        // Slices of 1..256 bytes, or everything the buffer takes.
        std::size_t n = slicing_ == 0 ? capacity : 1 + (offset_ * 31 + slicing_) % 256;
        n = std::min({n, capacity, size_ - offset_});
        std::memcpy(buffer, data_ + offset_, n);
        offset_ += n;
        return n;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::uint8_t slicing_;
    std::size_t offset_ = 0;
};

class CountingListener : public klv::WorkListener {
public:
    void WorkBegin(std::int32_t) override { ++depth_; }
    void Work(std::int32_t count) override {
        if (depth_ != 1 || count < last_) __builtin_trap();  // events outside a period, or counting back
        last_ = count;
    }
    void WorkEnd() override {
        if (--depth_ != 0) __builtin_trap();
        last_ = 0;
    }

private:
    int depth_ = 0;
    std::int32_t last_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    SlicedSource source(data + 1, size - 1, data[0]);
    klv::InputBuffer input(source);
    CountingListener listener;
    klv::WorkMeter meter(&listener);
    klv::MemoryStream sink;
    klv::BodyLimits limits;
    limits.presizeLimit = 1 << 20;
    klv::CookieJar jar([] { return std::int64_t{1700000000}; });
    try {
        klv::ResponseHead head;
        do {
            head = klv::ReadResponseHead(input);
            for (const std::string& line : head.setCookies) jar.Offer(line, "www.example.com");
        } while (head.status == 100);
        jar.CookieHeaderFor("www.example.com", "/a/");
        klv::ReadBody(input, head, sink, meter, limits);
    } catch (const klv::EIdException&) {
    }
    if (sink.Position() != sink.Size()) __builtin_trap();  // the sink must end at what was written
    return 0;
}
