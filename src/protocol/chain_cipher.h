#pragma once
// The keyed, chained hex scrambling of update-server requests. It hides the
// request from casual reading; it is not cryptographic protection (the seed
// byte travels in clear at the front).
#include <cstdint>
#include <string>

namespace klv {

// The key used for every update-server request.
inline constexpr const char* kRequestKey = "qvtrm";

// Scrambles `text` into upper-case hex: the seed byte, then one cipher byte per
// plain byte. An empty key means the default key "Kerravin". Never fails.
std::string ChainEncrypt(const std::string& text, const std::string& key);

// The inverse. On malformed input it returns what it decoded before the first
// pair that is not hexadecimal (possibly nothing). Never fails.
std::string ChainDecrypt(const std::string& text, const std::string& key);

// ChainEncrypt with a seed chosen by the caller, for tests and for a server
// that wants reproducible answers. ChainEncrypt draws the seed itself.
std::string ChainEncryptWithSeed(const std::string& text, const std::string& key, std::uint8_t seed);

// The random seed byte that ChainEncrypt uses: the generator is reseeded from
// the high-resolution counter on every call. It is per thread, so the GUI
// thread and the self-update worker never race on it and never wait for
// each other.
std::uint8_t DrawSeedByte();

}  // namespace klv
