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

std::string FileBody(const std::string& content) {
    return LengthField(static_cast<std::uint32_t>(content.size())) + ZlibStream(content);
}

}  // namespace klv::test
