#include "platform/publisher_trust.h"

#include <fcntl.h>
#include <unistd.h>

#include <utility>

namespace klv::platform {

// Authenticode signatures are a Windows matter, and natively the launcher
// starts no program: the native build runs unsigned, with no pin. A pin that
// arrives here anyway cannot be checked, so nothing is trusted under it.

void CheckedFile::Release() {
    handle_ = nullptr;
}

Publisher PublisherOf(const std::string&) {
    return {};
}

Publisher RunningPublisher() {
    return {};
}

CheckedFile CheckPublisher(const std::string& path, const Publisher& pin) {
    // No share modes here: the file is only seen to open.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return CheckedFile(Trust::CannotOpen, "cannot be opened", nullptr);
    ::close(fd);
    if (pin.kind == Publisher::Kind::Unsigned) return CheckedFile(Trust::Trusted, "no publisher is pinned", nullptr);
    return CheckedFile(Trust::NoPublisher, "signatures are checked only on Windows", nullptr);
}

}  // namespace klv::platform
