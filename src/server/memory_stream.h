#pragma once
// A growable in-memory byte stream with a position: the body sink of the HTTP
// transport and the buffer that DecodeFileBody rewrites in place.
#include <cstddef>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>

#include "platform/error.h"

namespace klv {

// What every in-memory buffer raises when it cannot grow.
inline constexpr char kStreamOutOfMemoryText[] = "Out of memory while expanding memory stream";

// Growing a stream is where a lying length or a 32-bit address space runs
// out: the failure is an EOutOfMemory like any other raised failure, so that
// callers which count failed attempts count this one too, instead of meeting
// a bare std::bad_alloc.
class MemoryStream {
public:
    const std::string& Data() const { return data_; }
    std::string& MutableData() { return data_; }
    std::size_t Size() const { return data_.size(); }
    std::size_t Position() const { return position_; }
    void Seek(std::size_t position) { position_ = position; }

    // Writes at the position, growing the stream as needed; the position
    // moves past the bytes written.
    void Write(const char* bytes, std::size_t count) {
        if (position_ + count > data_.size()) Resize(position_ + count);
        if (count) std::memcpy(&data_[position_], bytes, count);
        position_ += count;
    }
    // Sets the size (growing with zero bytes or cutting); the position is
    // kept, but not beyond the new end.
    void SetSize(std::size_t size) {
        Resize(size);
        if (position_ > size) position_ = size;
    }
    // Reserves room for growth without changing the size.
    void Reserve(std::size_t capacity) {
        try {
            data_.reserve(capacity);
        } catch (const std::bad_alloc&) {
            throw EOutOfMemory(kStreamOutOfMemoryText);
        } catch (const std::length_error&) {
            throw EOutOfMemory(kStreamOutOfMemoryText);
        }
    }
    void Clear() {
        data_.clear();
        position_ = 0;
    }

private:
    void Resize(std::size_t size) {
        try {
            data_.resize(size);
        } catch (const std::bad_alloc&) {
            throw EOutOfMemory(kStreamOutOfMemoryText);
        } catch (const std::length_error&) {
            throw EOutOfMemory(kStreamOutOfMemoryText);
        }
    }

    std::string data_;
    std::size_t position_ = 0;
};

}  // namespace klv
