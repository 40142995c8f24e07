#include "server/file_body_decoder.h"

#include <zlib.h>

#include <algorithm>
#include <new>

#include "platform/error.h"
#include "server/memory_stream.h"

namespace klv {
namespace {

constexpr std::size_t kHeaderSize = 4;
// First output allocation; later ones double, never beyond L.
constexpr std::size_t kInitialOutput = 64 * 1024;

[[noreturn]] void InflateFailed() {
    throw Error("Error");
}
[[noreturn]] void OutOfMemory() {
    throw EOutOfMemory(kStreamOutOfMemoryText);
}

}  // namespace

struct FileBodyDecoder::Impl {
    unsigned char header[kHeaderSize] = {};
    std::size_t headerBytes = 0;
    std::uint32_t length = 0;  // L, valid once headerBytes == 4
    bool streamEnded = false;  // zlib reported the end of its stream
    bool inflaterReady = false;
    z_stream zs{};
    std::string out;
    std::size_t produced = 0;

    ~Impl() {
        if (inflaterReady) inflateEnd(&zs);
    }

    // Once L bytes are out, what follows only decides whether the stream was
    // found damaged before it would have produced more: a stream that goes on
    // past L (a length field smaller than the content), one that ends
    // cleanly, and input that runs out all leave the L bytes standing, while
    // damage met first (a wrong check value) fails. Deciding by the bytes
    // alone, with one byte of scratch output, makes the outcome the same
    // however the body is sliced.
    bool tailSettled = false;

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
        if (inflateInit(&zs) != Z_OK) OutOfMemory();
        inflaterReady = true;
    }

    // Makes room for more output, doubling up to L.
    void Grow() {
        const std::size_t cap = length;
        const std::size_t next = std::min(cap, std::max(kInitialOutput, out.size() * 2));
        try {
            out.resize(next);
        } catch (const std::bad_alloc&) {
            OutOfMemory();
        } catch (const std::length_error&) {
            OutOfMemory();
        }
    }

    // One call of the inflater on the input at hand, into the content while
    // it is short of L, else into one byte of scratch (see tailSettled).
    // True when the output was filled, so another call can go on; false when
    // the inflater needs more input.
    bool Step() {
        unsigned char scratch = 0;
        std::size_t room = 1;
        if (produced < length) {
            if (produced == out.size()) Grow();
            zs.next_out = reinterpret_cast<Bytef*>(&out[produced]);
            room = std::min<std::size_t>(out.size() - produced, 1u << 30);
        } else {
            zs.next_out = &scratch;
        }
        zs.avail_out = static_cast<uInt>(room);
        const int rc = inflate(&zs, Z_NO_FLUSH);
        const std::size_t made = room - zs.avail_out;
        if (produced < length) {
            produced += made;
        } else if (made > 0) {
            tailSettled = true;  // the stream goes on past L: cut there
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
            // zlib counts in uInt; huge slices go in pieces.
            const uInt chunk = static_cast<uInt>(std::min<std::size_t>(count, 1u << 30));
            zs.avail_in = chunk;
            // Also once the input is used up: the inflater may still hold
            // bits that settle the tail (a wrong distance found only when
            // there is room for the byte it would copy).
            while (!Done() && Step()) {
            }
            count -= chunk - zs.avail_in;
            if (Done() || count == 0) return;  // after Done the rest is ignored
        }
    }
};

FileBodyDecoder::FileBodyDecoder() : impl_(std::make_unique<Impl>()) {}
FileBodyDecoder::~FileBodyDecoder() = default;

void FileBodyDecoder::Feed(const char* data, std::size_t count) {
    Impl& d = *impl_;
    if (d.headerBytes < kHeaderSize) {
        d.TakeHeader(data, count);
        if (d.headerBytes < kHeaderSize) return;
    }
    if (d.length == 0 || d.Done()) return;
    d.Inflate(data, count);
}

std::string FileBodyDecoder::Finish() {
    Impl& d = *impl_;
    if (d.headerBytes == 0) return {};
    if (d.headerBytes < kHeaderSize) throw EReadError("Stream read error");
    if (d.produced < d.length) InflateFailed();
    d.out.resize(d.produced);
    return std::move(d.out);
}

}  // namespace klv
