#include "protocol/chain_cipher.h"

#include "platform/clock.h"

namespace klv {
namespace {

constexpr const char* kDefaultKey = "Kerravin";

// Walks the key cyclically: positions 1, 2, ..., L, 1, 2, ...
class KeyCycle {
public:
    explicit KeyCycle(const std::string& key) : key_(key.empty() ? std::string(kDefaultKey) : key) {}
    unsigned char Next() {
        pos_ = pos_ < key_.size() ? pos_ + 1 : 1;
        return static_cast<unsigned char>(key_[pos_ - 1]);
    }

private:
    std::string key_;
    std::size_t pos_ = 0;
};

constexpr char kHexDigits[] = "0123456789ABCDEF";

void AppendHexByte(std::string& out, unsigned value) {
    out += kHexDigits[(value >> 4) & 0xF];
    out += kHexDigits[value & 0xF];
}

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Reads one or two hex digits; false for no digits or any other character.
bool ReadHex(const std::string& text, std::size_t start, std::size_t count, unsigned& value) {
    if (start >= text.size()) return false;
    if (start + count > text.size()) count = text.size() - start;
    value = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const int digit = HexDigitValue(text[start + i]);
        if (digit < 0) return false;
        value = value * 16 + static_cast<unsigned>(digit);
    }
    return true;
}

// The classic 32-bit linear congruential generator, one state per thread.
thread_local std::uint32_t tls_random_state = 0;

}  // namespace

std::uint8_t DrawSeedByte() {
    tls_random_state = platform::HighResolutionCounterLow32();
    tls_random_state = tls_random_state * 0x08088405u + 1u;
    // The high bits of an LCG are the good ones: scale the state into 0..255.
    return static_cast<std::uint8_t>((static_cast<std::uint64_t>(tls_random_state) * 256u) >> 32);
}

std::string ChainEncryptWithSeed(const std::string& text, const std::string& key, std::uint8_t seed) {
    KeyCycle keys(key);
    std::string out;
    out.reserve(2 + 2 * text.size());
    AppendHexByte(out, seed);
    unsigned prev = seed;
    for (const char ch : text) {
        const unsigned plain = static_cast<unsigned char>(ch);
        // Modulo 255, not 256: the deployed servers decode exactly this chain.
        unsigned v = (plain + prev) % 255;
        v ^= keys.Next();
        AppendHexByte(out, v);
        prev = v;
    }
    return out;
}

std::string ChainEncrypt(const std::string& text, const std::string& key) {
    return ChainEncryptWithSeed(text, key, DrawSeedByte());
}

std::string ChainDecrypt(const std::string& text, const std::string& key) {
    unsigned prev = 0;
    if (text.size() < 2 || !ReadHex(text, 0, 2, prev)) return {};
    KeyCycle keys(key);
    std::string out;
    // The first pass always runs (a three-character text yields one byte from
    // its lone third digit); later passes only while characters remain beyond
    // the position, so a trailing lone digit after that is ignored.
    std::size_t pos = 2;  // 0-based
    bool first = true;
    while (first || pos + 1 < text.size()) {
        first = false;
        unsigned cipher = 0;
        if (!ReadHex(text, pos, 2, cipher)) break;
        const unsigned t = keys.Next() ^ cipher;
        const unsigned plain = t > prev ? t - prev : t + 255 - prev;
        out += static_cast<char>(static_cast<unsigned char>(plain));
        prev = cipher;
        pos += 2;
    }
    return out;
}

}  // namespace klv
