#pragma once
// A growable in-memory byte stream with a position: the body sink of the HTTP
// transport and the buffer that DecodeFileBody rewrites in place.
#include <cstddef>
#include <cstring>
#include <string>

namespace klv {

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
        if (position_ + count > data_.size()) data_.resize(position_ + count);
        if (count) std::memcpy(&data_[position_], bytes, count);
        position_ += count;
    }
    // Sets the size (growing with zero bytes or cutting); the position is
    // kept, but not beyond the new end.
    void SetSize(std::size_t size) {
        data_.resize(size);
        if (position_ > size) position_ = size;
    }
    // Reserves room for growth without changing the size.
    void Reserve(std::size_t capacity) { data_.reserve(capacity); }
    void Clear() {
        data_.clear();
        position_ = 0;
    }

private:
    std::string data_;
    std::size_t position_ = 0;
};

}  // namespace klv
