// Any Run value through the reading of its folder part (the install folder
// of an earlier installation), under code page 936's lead bytes and under a
// single-byte code page. The folder is a leading part of the value that ends
// with its last real separator ("\" or ":"), or the empty text when there is
// none; a 0x5C that is the trail byte of a double-byte character is no
// separator, and a 0x3A never is one (no trail byte is below 0x40).
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "install/run_value.h"

namespace {

bool Lead936(unsigned char byte) {
    return byte >= 0x81 && byte <= 0xFE;
}
bool NoLead(unsigned char) {
    return false;
}

// Positions of the bytes that are separators, reading forward.
std::string Separators(const std::string& value, bool (*isLead)(unsigned char)) {
    std::string marks(value.size(), ' ');
    for (std::size_t i = 0; i < value.size(); ++i) {
        // No byte below 0x40 is the second byte of a character.
        if (isLead(static_cast<unsigned char>(value[i])) && i + 1 < value.size() &&
            static_cast<unsigned char>(value[i + 1]) >= 0x40) {
            ++i;
            continue;
        }
        if (value[i] == '\\' || value[i] == ':') marks[i] = 'S';
    }
    return marks;
}

void Check(const std::string& value, bool (*isLead)(unsigned char)) {
    const std::string folder = klv::RunValueFolder(value, isLead);
    KLV_FUZZ_CHECK(value.compare(0, folder.size(), folder) == 0);
    const std::string marks = Separators(value, isLead);
    const std::size_t last = marks.rfind('S');
    KLV_FUZZ_CHECK(folder.size() == (last == std::string::npos ? 0 : last + 1));
    if (isLead == &NoLead) {
        // Without double-byte characters it is the text up to the last "\" or ":".
        const std::size_t plain = value.find_last_of("\\:");
        KLV_FUZZ_CHECK(folder.size() == (plain == std::string::npos ? 0 : plain + 1));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string value(reinterpret_cast<const char*>(data), size);
    Check(value, &Lead936);
    Check(value, &NoLead);
    return 0;
}
