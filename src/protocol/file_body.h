#pragma once
// The GetAFile answer body, both ways: a 4-byte little-endian length L, then
// a zlib stream whose inflated data is the file content. The update server
// encodes it, the launcher and klv-client decode it; both sides use these
// two, so that they cannot drift apart.
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace klv {

// The body for `content`. An empty file gives the 0-byte body. Raises
// std::length_error for content whose length does not fit the signed 32-bit
// length field the launcher reads, std::runtime_error when zlib fails.
std::string EncodeFileBody(const std::string& content);

// Decodes a body in slices of any size, handing the content on in pieces as
// it is inflated, never more than L bytes: the output grows only as
// inflation produces it, so a forged length costs nothing until data backs
// it. The outcome for the same bytes is the same however they are sliced.
class FileBodyInflater {
public:
    using Output = std::function<void(const char* bytes, std::size_t count)>;
    explicit FileBodyInflater(Output output);
    ~FileBodyInflater();
    FileBodyInflater(const FileBodyInflater&) = delete;
    FileBodyInflater& operator=(const FileBodyInflater&) = delete;

    // Raises EOutOfMemory for a length with the top bit set (the launcher's
    // buffers take signed 32-bit sizes), klv::Error "Error" for a damaged
    // zlib stream, and whatever the output raises. Bytes after the first L
    // inflated bytes, or after the end of the zlib stream, are ignored.
    void Feed(const char* data, std::size_t count);
    // Ends the body: hands on what is still pending. A body of 0 bytes is an
    // empty file; 1 to 3 bytes raise EReadError "Stream read error"; a
    // stream that ends or stops before L bytes raises klv::Error "Error",
    // because a download cut short must never pass for a complete file.
    void Finish();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace klv
