#include "platform/codepage.h"

namespace klv::platform {

bool IsAnsiLeadByte(unsigned char byte) { return byte >= 0x81 && byte <= 0xFE; }

std::string AnsiUpperKey(const std::string& text) {
    std::string key = text;
    for (std::size_t i = 0; i < key.size(); ++i) {
        const auto byte = static_cast<unsigned char>(key[i]);
        if (IsAnsiLeadByte(byte)) {
            ++i;  // double-byte characters have no case
            continue;
        }
        if (byte >= 'a' && byte <= 'z') key[i] = static_cast<char>(byte - 'a' + 'A');
    }
    return key;
}

bool AnsiSameText(const std::string& a, const std::string& b) { return AnsiUpperKey(a) == AnsiUpperKey(b); }

}  // namespace klv::platform
