#include "platform/publisher_trust.h"

#include <fcntl.h>
#include <unistd.h>

#include <utility>

namespace klv::platform {

// Authenticode signatures are a Windows matter, and natively the launcher
// starts no program: the native build runs unsigned, with no pin. A pin that
// arrives here anyway cannot be checked, so nothing is trusted under it.

CheckedFile::CheckedFile(Trust verdict, std::string reason, void* handle)
    : verdict_(verdict), reason_(std::move(reason)), handle_(handle) {}

CheckedFile::CheckedFile(CheckedFile&& other) noexcept
    : verdict_(other.verdict_), reason_(std::move(other.reason_)), handle_(std::exchange(other.handle_, nullptr)) {}

CheckedFile& CheckedFile::operator=(CheckedFile&& other) noexcept {
    if (this != &other) {
        verdict_ = other.verdict_;
        reason_ = std::move(other.reason_);
        handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
}

CheckedFile::~CheckedFile() = default;

void CheckedFile::Release() { handle_ = nullptr; }

Publisher PublisherOf(const std::string&) { return {}; }

Publisher RunningPublisher() { return {}; }

CheckedFile CheckPublisher(const std::string& path, const Publisher& pin) {
    // No share modes here: the file is only seen to open.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return CheckedFile(Trust::CannotOpen, "cannot be opened", nullptr);
    ::close(fd);
    if (pin.kind == Publisher::Kind::Unsigned) return CheckedFile(Trust::Trusted, "no publisher is pinned", nullptr);
    return CheckedFile(Trust::NoPublisher, "signatures are checked only on Windows", nullptr);
}

}  // namespace klv::platform
