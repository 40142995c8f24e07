#pragma once
// A growable in-memory byte stream with a position: the body sink of the HTTP
// transport for answers that are kept whole (CheckFileUp, tests).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>

#include "platform/error.h"
#include "platform/memory_hint.h"
#include "http/body_sink.h"

namespace klv {

// Growing a stream is where a lying length or a 32-bit address space runs
// out: the failure is an EOutOfMemory like any other raised failure, so that
// callers which count failed attempts count this one too, instead of meeting
// a bare std::bad_alloc.
//
// Writing at the end appends: the stream never zero-fills room that data is
// about to fill, and a body whose length is known is given its room once
// (Expect), so that a large download neither pays for clearing its buffer
// nor for regrowing and copying it.
class MemoryStream final : public BodySink {
public:
    const std::string& Data() const { return data_; }
    std::string& MutableData() { return data_; }
    std::size_t Size() const { return data_.size(); }
    std::size_t Position() const { return position_; }
    void Seek(std::size_t position) { position_ = position; }

    // Writes at the position, growing the stream as needed; the position
    // moves past the bytes written.
    void Write(const char* bytes, std::size_t count) override {
        if (count == 0) return;
        if (position_ > data_.size()) Resize(position_);  // a seek past the end leaves zeros between
        const std::size_t overwrite = std::min(count, data_.size() - position_);
        if (overwrite) std::memcpy(&data_[position_], bytes, overwrite);
        if (overwrite < count) Append(bytes + overwrite, count - overwrite);
        position_ += count;
    }
    // Room for `length` more bytes after the position, reserved once; the
    // size does not change.
    void Expect(std::uint64_t length) override {
        if (length > SIZE_MAX - position_) throw EOutOfMemory(kStreamOutOfMemoryText);
        const std::size_t wanted = position_ + static_cast<std::size_t>(length);
        if (wanted > data_.capacity()) Reserve(wanted);
    }
    // Hands the bytes over, leaving the stream empty: a text answer costs no
    // copy.
    std::string Release() {
        position_ = 0;
        return std::move(data_);
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
            platform::AdviseLargeBuffer(data_.data(), data_.capacity());
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
    void Append(const char* bytes, std::size_t count) {
        try {
            data_.append(bytes, count);
        } catch (const std::bad_alloc&) {
            throw EOutOfMemory(kStreamOutOfMemoryText);
        } catch (const std::length_error&) {
            throw EOutOfMemory(kStreamOutOfMemoryText);
        }
    }
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
