#include "platform/publisher_trust.h"

#include <utility>

namespace klv::platform {

// What a checked file is on every system; only how its hold ends
// (Release) is the system's.

CheckedFile::CheckedFile(Trust verdict, std::string reason, void* handle)
    : verdict_(verdict), reason_(std::move(reason)), handle_(handle) {}

CheckedFile::CheckedFile(CheckedFile&& other) noexcept
    : verdict_(other.verdict_), reason_(std::move(other.reason_)), handle_(std::exchange(other.handle_, nullptr)) {}

CheckedFile& CheckedFile::operator=(CheckedFile&& other) noexcept {
    if (this != &other) {
        Release();
        verdict_ = other.verdict_;
        reason_ = std::move(other.reason_);
        handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
}

CheckedFile::~CheckedFile() {
    Release();
}

}  // namespace klv::platform
