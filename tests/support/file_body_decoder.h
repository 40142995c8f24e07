#pragma once
// Decoding a GetAFile answer body whole, for tests: the launcher streams its
// bodies to disk through FileBodyInflater; these keep the content in memory
// so that a test can look at it. Same rules, same failures.
#include <cstddef>
#include <memory>
#include <string>

#include "http/memory_stream.h"

namespace klv {

// Incremental, keeping the content. Raises what FileBodyInflater raises, and
// EOutOfMemory when the content cannot be grown.
class FileBodyDecoder {
public:
    FileBodyDecoder();
    ~FileBodyDecoder();
    FileBodyDecoder(const FileBodyDecoder&) = delete;
    FileBodyDecoder& operator=(const FileBodyDecoder&) = delete;

    void Feed(const char* data, std::size_t count);
    std::string Finish();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Replaces the body in `buffer` by the content it carries; a missing or
// empty buffer is left alone, and so is the buffer when decoding fails.
void DecodeFileBody(MemoryStream* buffer);

}  // namespace klv
