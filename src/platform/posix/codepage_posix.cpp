#include "platform/codepage.h"

#include "platform/path_text.h"

namespace klv::platform {

bool IsAnsiLeadByte(unsigned char byte) {
    return byte >= 0x81 && byte <= 0xFE;
}

std::string AnsiUpperKey(const std::string& text) {
    std::string key = text;
    // Double-byte characters have no case.
    for (std::size_t i = 0; i < key.size(); i += CharLength(key, i)) {
        const auto byte = static_cast<unsigned char>(key[i]);
        if (CharLength(key, i) == 1 && byte >= 'a' && byte <= 'z') key[i] = static_cast<char>(byte - 'a' + 'A');
    }
    return key;
}

bool AnsiSameText(const std::string& a, const std::string& b) {
    return AnsiUpperKey(a) == AnsiUpperKey(b);
}

}  // namespace klv::platform
