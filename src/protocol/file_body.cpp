#include "protocol/file_body.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <stdexcept>

#include "platform/error.h"

namespace klv {
namespace {

constexpr std::size_t kHeaderSize = 4;
// Content is handed on in pieces of this size: large enough that the file
// sees few writes, small enough to cost nothing beside the download.
constexpr std::size_t kOutputWindow = 256 * 1024;

[[noreturn]] void InflateFailed() {
    throw Error("Error");
}
[[noreturn]] void OutOfMemory() {
    throw EOutOfMemory(kStreamOutOfMemoryText);
}

}  // namespace

std::string EncodeFileBody(const std::string& content) {
    if (content.empty()) return {};
    if (content.size() > 0x7FFFFFFFu) throw std::length_error("file too large for a GetAFile body");
    uLongf bound = compressBound(static_cast<uLong>(content.size()));
    std::string body(kHeaderSize + bound, '\0');
    const auto length = static_cast<std::uint32_t>(content.size());
    for (std::size_t i = 0; i < kHeaderSize; ++i) body[i] = static_cast<char>((length >> (8 * i)) & 0xFF);
    // Level 1: the server compresses once per change, but the first client
    // waits for it; the ratio gained by higher levels is small.
    const int rc = compress2(reinterpret_cast<Bytef*>(&body[kHeaderSize]), &bound,
                             reinterpret_cast<const Bytef*>(content.data()), static_cast<uLong>(content.size()), 1);
    if (rc != Z_OK) throw std::runtime_error("compression failed");
    body.resize(kHeaderSize + bound);
    return body;
}

// The content goes into a window that is handed on whenever it fills, so
// that a body costs the same little memory whatever L says.
struct FileBodyInflater::Impl {
    explicit Impl(Output out) : output(std::move(out)) {}
    ~Impl() {
        if (inflaterReady) inflateEnd(&zs);
    }

    Output output;
    unsigned char header[kHeaderSize] = {};
    std::size_t headerBytes = 0;
    std::uint32_t length = 0;  // L, valid once headerBytes == 4
    bool streamEnded = false;
    // L bytes are out and what followed settled the outcome: the stream goes
    // on past L (cut there), or was found damaged first (raised).
    bool tailSettled = false;
    bool inflaterReady = false;
    z_stream zs{};
    // Not zero-filled: the inflater writes every byte before it is handed on,
    // and a small body should not pay for clearing the whole window.
    std::unique_ptr<char[]> window;
    std::size_t windowSize = 0;
    std::size_t pending = 0;  // bytes in the window not yet handed on
    std::uint64_t produced = 0;

    bool Done() const { return streamEnded || tailSettled; }

    void TakeHeader(const char*& data, std::size_t& count) {
        while (headerBytes < kHeaderSize && count > 0) {
            header[headerBytes++] = static_cast<unsigned char>(*data++);
            --count;
        }
        if (headerBytes < kHeaderSize) return;
        length = static_cast<std::uint32_t>(header[0]) | static_cast<std::uint32_t>(header[1]) << 8 |
                 static_cast<std::uint32_t>(header[2]) << 16 | static_cast<std::uint32_t>(header[3]) << 24;
        // The launcher's buffers take signed 32-bit sizes: such a length can
        // never be honoured, whatever the body holds.
        if (length & 0x80000000u) OutOfMemory();
        if (length == 0) return;
        try {
            windowSize = std::min<std::size_t>(length, kOutputWindow);
            window.reset(new char[windowSize]);
        } catch (const std::bad_alloc&) {
            OutOfMemory();
        }
        if (inflateInit(&zs) != Z_OK) OutOfMemory();
        inflaterReady = true;
    }

    void Flush() {
        if (pending == 0) return;
        const std::size_t count = pending;
        pending = 0;
        output(window.get(), count);
    }

    // One call of the inflater, into the window while the content is short
    // of L, else into one byte of scratch. True when the output room was
    // filled, so another call can go on.
    bool Step() {
        unsigned char scratch = 0;
        std::size_t room = 1;
        const bool content = produced < length;
        if (content) {
            if (pending == windowSize) Flush();
            room = static_cast<std::size_t>(std::min<std::uint64_t>(windowSize - pending, length - produced));
            zs.next_out = reinterpret_cast<Bytef*>(window.get() + pending);
        } else {
            zs.next_out = &scratch;
        }
        zs.avail_out = static_cast<uInt>(room);
        const int rc = inflate(&zs, Z_NO_FLUSH);
        const std::size_t made = room - zs.avail_out;
        if (content) {
            produced += made;
            pending += made;
        } else if (made > 0) {
            tailSettled = true;
            return false;
        }
        if (rc == Z_STREAM_END) {
            streamEnded = true;
        } else if (rc == Z_MEM_ERROR) {
            OutOfMemory();
        } else if (rc != Z_OK && rc != Z_BUF_ERROR) {
            InflateFailed();
        }
        return zs.avail_out == 0;
    }

    void Inflate(const char* data, std::size_t count) {
        zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
        for (;;) {
            const uInt chunk = static_cast<uInt>(std::min<std::size_t>(count, 1u << 30));
            zs.avail_in = chunk;
            while (!Done() && Step()) {
            }
            count -= chunk - zs.avail_in;
            if (Done() || count == 0) return;
        }
    }
};

FileBodyInflater::FileBodyInflater(Output output) : impl_(std::make_unique<Impl>(std::move(output))) {}
FileBodyInflater::~FileBodyInflater() = default;

void FileBodyInflater::Feed(const char* data, std::size_t count) {
    Impl& d = *impl_;
    if (d.headerBytes < kHeaderSize) {
        d.TakeHeader(data, count);
        if (d.headerBytes < kHeaderSize) return;
    }
    if (d.length == 0 || d.Done()) return;
    d.Inflate(data, count);
}

void FileBodyInflater::Finish() {
    Impl& d = *impl_;
    if (d.headerBytes == 0) return;
    if (d.headerBytes < kHeaderSize) throw EReadError("Stream read error");
    if (d.produced < d.length) InflateFailed();
    d.Flush();
}

}  // namespace klv
