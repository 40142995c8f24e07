#include "protocol/version.h"

#include <cstdint>

#include "platform/error.h"

namespace klv {
namespace {

[[noreturn]] void ThrowNotAnInteger(const std::string& text) {
    throw EConvertError("'" + text + "' is not a valid integer value");
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The text of `text` from `at` to the next "." (or to the end), and `at`
// moved past that "." (or to the end). At the end it yields the empty
// component. Moving an index rather than cutting the text keeps a version of
// half a million components linear: a manifest line may be that long.
std::string NextComponent(const std::string& text, std::size_t& at) {
    if (at >= text.size()) return {};
    const auto dot = text.find('.', at);
    const std::size_t end = dot == std::string::npos ? text.size() : dot;
    std::string component = text.substr(at, end - at);
    at = dot == std::string::npos ? text.size() : dot + 1;
    return component;
}

}  // namespace

int StrToInt(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;  // leading blanks are tolerated
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    unsigned base = 10;
    if (i < text.size() && text[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= text.size()) ThrowNotAnInteger(text);
    std::uint64_t value = 0;
    for (; i < text.size(); ++i) {
        const int digit = base == 16 ? HexValue(text[i]) : (text[i] >= '0' && text[i] <= '9' ? text[i] - '0' : -1);
        if (digit < 0) ThrowNotAnInteger(text);
        value = value * base + static_cast<unsigned>(digit);
        if (value > 0xFFFFFFFFull) ThrowNotAnInteger(text);
    }
    if (base == 10) {
        const std::uint64_t limit = negative ? 0x80000000ull : 0x7FFFFFFFull;
        if (value > limit) ThrowNotAnInteger(text);
        return negative ? static_cast<int>(-static_cast<std::int64_t>(value)) : static_cast<int>(value);
    }
    // Hex literals cover the full 32 bits, as two's complement.
    const auto bits = static_cast<std::uint32_t>(value);
    return static_cast<std::int32_t>(negative ? 0u - bits : bits);
}

bool VersionIsNewer(const std::string& a, const std::string& b) {
    if (b.empty() || a.empty()) return true;
    const std::string ra = a + ".";
    const std::string rb = b + ".";
    std::size_t ia = 0, ib = 0;
    while (ia < ra.size()) {
        // a's component is converted before b's in each pass: the failure
        // message names the first offending text in that order.
        const int x = StrToInt(NextComponent(ra, ia));
        const int y = StrToInt(NextComponent(rb, ib));
        if (x > y) return true;
    }
    return false;
}

bool VersionIsLaterInReleaseOrder(const std::string& a, const std::string& b) {
    if (b.empty() || a.empty()) return true;
    std::size_t ia = 0, ib = 0;
    bool moreA = true, moreB = true;
    while (moreA || moreB) {
        // A version that has run out counts its missing components as 0.
        const int x = moreA ? StrToInt(NextComponent(a, ia)) : 0;
        const int y = moreB ? StrToInt(NextComponent(b, ib)) : 0;
        moreA = ia < a.size();
        moreB = ib < b.size();
        if (x != y) return x > y;
    }
    return false;
}

}  // namespace klv
