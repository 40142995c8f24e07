#pragma once
// The text of the default error report, kept free of Windows so that it can be
// tested on its own.
#include <string>

namespace klv {

// The message with a "." appended when it is not empty and its last byte
// compares greater than '.'. Bytes compare unsigned: a message ending in the
// trail byte of a double-byte character gets its full stop as well; one that
// ends in '.', a space, '!' or a quote does not.
inline std::string ErrorReportText(const std::string& message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > static_cast<unsigned char>('.'))
        return message + ".";
    return message;
}

}  // namespace klv
