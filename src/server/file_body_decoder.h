#pragma once
// Incremental decoder of a GetAFile answer body: a 4-byte little-endian length
// L, then a zlib stream whose inflated data is the file content. Input may
// arrive in slices of any size; the output grows only as inflation produces
// it, capped at L, so a forged length costs nothing until data backs it.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace klv {

class FileBodyDecoder {
public:
    FileBodyDecoder();
    ~FileBodyDecoder();
    FileBodyDecoder(const FileBodyDecoder&) = delete;
    FileBodyDecoder& operator=(const FileBodyDecoder&) = delete;

    // Takes the next slice of the body. Raises EOutOfMemory for a length with
    // the top bit set (or output that cannot be grown) and klv::Error "Error"
    // for a damaged zlib stream. Bytes after the first L inflated bytes, or
    // after the end of the zlib stream, are ignored.
    void Feed(const char* data, std::size_t count);

    // Ends the body and returns the content. A body of 0 bytes is an empty
    // file; 1 to 3 bytes raise EReadError "Stream read error"; a stream that
    // ends (or stops) before L bytes were produced raises klv::Error "Error",
    // because a download cut short must never pass for a complete file.
    std::string Finish();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace klv
