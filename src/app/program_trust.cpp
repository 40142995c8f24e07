#include "app/program_trust.h"

#include "platform/win32/wide_text.h"
#include "texts/user_texts.h"

namespace klv {
namespace {

// The box's reason for each verdict that refuses a program.
struct RefusalReason {
    platform::Trust verdict;
    const wchar_t* text;
};
const RefusalReason kRefusalReasons[] = {
    {platform::Trust::Unsigned, texts::kNotStartedUnsigned},
    {platform::Trust::Altered, texts::kNotStartedAltered},
    {platform::Trust::Refused, texts::kNotStartedRefused},
    {platform::Trust::OtherPublisher, texts::kNotStartedOtherPublisher},
    {platform::Trust::NoPublisher, texts::kNotStartedNoPublisher},
    {platform::Trust::CannotOpen, texts::kNotStartedCannotOpen},
};

// A verdict without a row (Trusted, which refuses nothing, or one the check
// learns later) can only say that the signature was not verified.
const wchar_t* NotStartedReason(platform::Trust verdict) {
    for (const RefusalReason& row : kRefusalReasons)
        if (row.verdict == verdict) return row.text;
    return texts::kNotStartedUnverified;
}

}  // namespace

const platform::Publisher& LauncherPublisher() {
    static const platform::Publisher publisher = platform::RunningPublisher();
    return publisher;
}

bool IsTrustedProgram(const std::string& path) {
    return platform::CheckPublisher(path, LauncherPublisher()).Trusted();
}

std::wstring NotStartedText(const std::string& name, platform::Trust verdict) {
    return texts::ProgramNotStarted(platform::WidenAnsi(name), NotStartedReason(verdict));
}

}  // namespace klv
