#include "platform/text_encoding.h"

#include <iconv.h>

#include <cerrno>

namespace klv::platform {
namespace {

bool IsAscii(const std::string& text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

}  // namespace

std::string AnsiToUtf8(const std::string& text) {
    if (IsAscii(text)) return text;
    iconv_t cd = iconv_open("UTF-8", "CP936");
    if (cd == reinterpret_cast<iconv_t>(-1)) return text;
    std::string out;
    char block[256];
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    while (inLeft > 0) {
        char* dst = block;
        std::size_t dstLeft = sizeof block;
        const std::size_t rc = iconv(cd, &in, &inLeft, &dst, &dstLeft);
        out.append(block, sizeof block - dstLeft);
        if (rc == static_cast<std::size_t>(-1) && errno != E2BIG) {
            // An invalid or cut-off sequence: show one "?" and go on after it.
            out += '?';
            ++in;
            --inLeft;
        }
    }
    iconv_close(cd);
    return out;
}

}  // namespace klv::platform
