#include "protocol/version.h"

#include <gtest/gtest.h>

#include "platform/error.h"

namespace klv {
namespace {

struct Case {
    const char* a;
    const char* b;
    bool expected;
    const char* why;
};

TEST(VersionIsNewer, ComparesComponentByComponent) {
    const Case cases[] = {
        {"1.0.0.1", "1.0.0.0", true, "last component greater"},
        {"1.0.0.0", "1.0.0.0", false, "equal is not newer"},
        {"1.0.0.0", "1.0.0.1", false, "older"},
        {"1.0.10", "1.0.9", true, "numeric, not text comparison"},
        {"2.0.0.0", "1.9.0.0", true, "first component greater"},
        {"1.9.0.0", "2.0.0.0", true, "a smaller first component does not end the comparison"},
        {"1.5.0.0", "2.0.0.0", true, "second component decides"},
        {"1.0.0.0", "2.0.0.0", false, "no component greater"},
        {"1.1.5.0", "1.2.0.0", true, "third component decides"},
        {"", "1.0", true, "no candidate version"},
        {"1.0", "", true, "no known version"},
        {"", "", true, "both empty"},
        {"1.2", "1.2.3", false, "a runs out first"},
        {"1.3.0", "1.2", true, "decided before b runs out"},
        {"-1", "-2", true, "signed components"},
        {"2147483647", "2147483646", true, "largest 32-bit component"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(VersionIsNewer(c.a, c.b), c.expected) << c.a << " vs " << c.b << ": " << c.why;
}

TEST(VersionIsLaterInReleaseOrder, TheFirstComponentThatDiffersDecides) {
    const Case cases[] = {
        {"1.0.13.0", "1.0.12.16", true, "a later release"},
        {"1.0.12.16", "1.0.13.0", false,
         "an older release with a greater last component: newer by the manifests' rule, "
         "a downgrade by this one"},
        {"1.0.13.0", "1.0.13.0", false, "the same release"},
        {"1.0.13", "1.0.13.0", false, "a missing component counts as 0"},
        {"1.0.13.0.1", "1.0.13", true, "so does one on the other side"},
        {"1.0.10", "1.0.9", true, "numeric, not text comparison"},
        {"", "1.0", true, "no candidate version"},
        {"1.0", "", true, "a running launcher without a version takes any"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(VersionIsLaterInReleaseOrder(c.a, c.b), c.expected) << c.a << " vs " << c.b << ": " << c.why;
    EXPECT_THROW(VersionIsLaterInReleaseOrder("1.x", "1.0"), EConvertError);
}

void ExpectConvertError(const std::string& a, const std::string& b, const std::string& message) {
    try {
        VersionIsNewer(a, b);
        ADD_FAILURE() << a << " vs " << b << " should have failed";
    } catch (const EConvertError& e) {
        EXPECT_EQ(std::string(e.what()), message) << a << " vs " << b;
    }
}

TEST(VersionIsNewer, NonIntegerComponentsRaiseTheConversionFailure) {
    ExpectConvertError("1.2.3", "1.2", "'' is not a valid integer value");
    ExpectConvertError("1.x", "1.0", "'x' is not a valid integer value");
    ExpectConvertError("1.0", "1.y", "'y' is not a valid integer value");
    ExpectConvertError("1..2", "1.0.0", "'' is not a valid integer value");
    ExpectConvertError("1.0.", "1.0.0", "'' is not a valid integer value");
    ExpectConvertError("2147483648", "1", "'2147483648' is not a valid integer value");
    // a's component is converted before b's: both bad, a's is named.
    ExpectConvertError("p.1", "q.1", "'p' is not a valid integer value");
}

TEST(StrToInt, AcceptsWhatDeployedManifestsHold) {
    EXPECT_EQ(StrToInt("0"), 0);
    EXPECT_EQ(StrToInt("015"), 15);
    EXPECT_EQ(StrToInt("-2147483648"), -2147483647 - 1);
    EXPECT_EQ(StrToInt("$10"), 16);
    EXPECT_THROW(StrToInt("1 "), EConvertError);
    EXPECT_THROW(StrToInt("-"), EConvertError);
    EXPECT_THROW(StrToInt("99999999999"), EConvertError);
}

}  // namespace
}  // namespace klv
