// The text rule of the default error report, on the bytes the report really
// gets: ANSI text in code page 936.
#include <gtest/gtest.h>

#include "app/error_text.h"

namespace klv {
namespace {

TEST(ErrorReportText, AddsAFullStopOnlyAfterBytesAboveTheFullStop) {
    const struct {
        const char* message;
        const char* shown;
    } cases[] = {
        // A letter at the end: the common case, "." added.
        {"Stream read error", "Stream read error."},
        // Already ends in ".": no second one.
        {"Cannot create file \"a\". Access is denied.", "Cannot create file \"a\". Access is denied."},
        // A quote is below '.': the registry error is shown as it is.
        {"Invalid data type for 'KLV_U'", "Invalid data type for 'KLV_U'"},
        // Space, '!' and ')' are below '.' too.
        {"trailing space ", "trailing space "},
        {"Unexpected end!", "Unexpected end!"},
        {"(none)", "(none)"},
        // '/' and digits are above '.'.
        {"a/", "a/."},
        {"error 5", "error 5."},
        // Empty stays empty: no lone ".".
        {"", ""},
        // A double-byte character at the end: its trail byte is above '.'
        // when compared unsigned; a signed compare would drop the stop.
        {"\xCE\xC4\xBC\xFE", "\xCE\xC4\xBC\xFE."},
        {"\xA1\xA3", "\xA1\xA3."},
    };
    for (const auto& c : cases) EXPECT_EQ(ErrorReportText(c.message), c.shown) << c.message;
}

}  // namespace
}  // namespace klv
