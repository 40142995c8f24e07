#include "support/file_body.h"

#include <zlib.h>

#include <stdexcept>

namespace klv::test {

std::string LengthField(std::uint32_t length) {
    std::string field(4, '\0');
    for (int i = 0; i < 4; ++i) field[static_cast<std::size_t>(i)] = static_cast<char>((length >> (8 * i)) & 0xFF);
    return field;
}

std::string ZlibStream(const std::string& content, int level) {
    uLongf size = compressBound(static_cast<uLong>(content.size()));
    std::string stream(size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(&stream[0]), &size, reinterpret_cast<const Bytef*>(content.data()),
                  static_cast<uLong>(content.size()), level) != Z_OK)
        throw std::runtime_error("compress2 failed");
    stream.resize(size);
    return stream;
}

std::string ZlibStreamOfZeros(std::uint64_t count) {
    z_stream zs{};
    if (deflateInit(&zs, 9) != Z_OK) throw std::runtime_error("deflateInit failed");
    static const std::string zeros(1 << 20, '\0');
    std::string stream;
    char out[1 << 16];
    std::uint64_t left = count;
    int flush = Z_NO_FLUSH;
    do {
        const auto piece = static_cast<uInt>(left < zeros.size() ? left : zeros.size());
        left -= piece;
        flush = left == 0 ? Z_FINISH : Z_NO_FLUSH;
        zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zeros.data()));
        zs.avail_in = piece;
        do {
            zs.next_out = reinterpret_cast<Bytef*>(out);
            zs.avail_out = sizeof out;
            deflate(&zs, flush);
            stream.append(out, sizeof out - zs.avail_out);
        } while (zs.avail_out == 0);
    } while (flush != Z_FINISH);
    deflateEnd(&zs);
    return stream;
}

std::string FileBody(const std::string& content) {
    return LengthField(static_cast<std::uint32_t>(content.size())) + ZlibStream(content);
}

}  // namespace klv::test
