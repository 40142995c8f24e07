#pragma once
// Where the transport puts a response body: memory (MemoryStream) or, for
// downloads that can be large, a file written as the body arrives.
#include <cstddef>
#include <cstdint>

namespace klv {

class BodySink {
public:
    virtual ~BodySink() = default;
    // The length the answer announces, before its first byte: a hint for
    // reserving room once, given only for a Content-Length the transport is
    // willing to trust that far (BodyLimits::presizeLimit).
    virtual void Expect(std::uint64_t /*length*/) {}
    // The next bytes of the body. A failure raised here ends the transfer and
    // passes out of Get unchanged.
    virtual void Write(const char* bytes, std::size_t count) = 0;
};

}  // namespace klv
