// Any two version texts through VersionIsNewer, and any text through its
// integer conversion, checked against a reading of the rule written
// independently here: optional blanks and sign, then decimal digits within
// 32 bits signed, or "$"/"0x" and hex digits within 32 bits unsigned (taken
// as two's complement). Anything else is the conversion failure, with the
// offending text in its message.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "fuzz_check.h"
#include "platform/error.h"
#include "protocol/version.h"

namespace {

std::optional<std::int32_t> Reference(const std::string& text) {
    std::size_t i = text.find_first_not_of(' ');
    if (i == std::string::npos) return std::nullopt;
    bool negative = false;
    if (text[i] == '+' || text[i] == '-') negative = text[i++] == '-';
    int base = 10;
    if (text.compare(i, 1, "$") == 0) {
        base = 16;
        i += 1;
    } else if (text.compare(i, 2, "0x") == 0 || text.compare(i, 2, "0X") == 0) {
        base = 16;
        i += 2;
    }
    const std::string digits = text.substr(i);
    const char* allowed = base == 16 ? "0123456789abcdefABCDEF" : "0123456789";
    if (digits.empty() || digits.find_first_not_of(allowed) != std::string::npos) return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : digits) {
        value = value * static_cast<unsigned>(base) + static_cast<unsigned>(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
        if (value > 0xFFFFFFFFull) return std::nullopt;
    }
    if (base == 10) {
        if (value > (negative ? 0x80000000ull : 0x7FFFFFFFull)) return std::nullopt;
        return static_cast<std::int32_t>(negative ? -static_cast<std::int64_t>(value)
                                                  : static_cast<std::int64_t>(value));
    }
    const auto bits = static_cast<std::uint32_t>(value);
    return static_cast<std::int32_t>(negative ? 0u - bits : bits);
}

std::optional<std::int32_t> Converted(const std::string& text) {
    try {
        return klv::StrToInt(text);
    } catch (const klv::EConvertError& e) {
        // what() ends at a NUL of the text; the message up to there must match.
        const std::string expected = "'" + text + "' is not a valid integer value";
        KLV_FUZZ_CHECK(std::string(e.what()) == expected.substr(0, expected.find('\0')));
        return std::nullopt;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const std::string a = input.ConsumeRandomLengthString(256);
    const std::string b = input.ConsumeRemainingBytesAsString();

    KLV_FUZZ_CHECK(Converted(a) == Reference(a));
    KLV_FUZZ_CHECK(Converted(b) == Reference(b));

    try {
        const bool newer = klv::VersionIsNewer(a, b);
        if (a.empty() || b.empty()) KLV_FUZZ_CHECK(newer);
        if (!a.empty() && a == b) KLV_FUZZ_CHECK(!newer);  // no component is greater than itself
    } catch (const klv::EConvertError&) {
        KLV_FUZZ_CHECK(!a.empty() && !b.empty());  // no conversion when either is empty
    }
    return 0;
}
