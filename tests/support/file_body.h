#pragma once
// Building GetAFile answer bodies for tests: the 4-byte little-endian length
// and a zlib stream, each under the test's control so it can be forged.
#include <cstdint>
#include <string>

namespace klv::test {

// The four length bytes of L.
std::string LengthField(std::uint32_t length);
// A complete zlib stream (header, deflate data, Adler-32) of `content`.
std::string ZlibStream(const std::string& content, int level = 6);
// A zlib stream that inflates to `count` zero bytes, built without ever
// holding them: a few kilobytes stand for gigabytes (a decompression bomb).
std::string ZlibStreamOfZeros(std::uint64_t count);
// LengthField(content.size()) + ZlibStream(content).
std::string FileBody(const std::string& content);

}  // namespace klv::test
