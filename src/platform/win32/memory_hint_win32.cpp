#include "platform/memory_hint.h"

namespace klv::platform {

// Large pages on Windows need a privilege that the launcher does not hold.
void AdviseLargeBuffer(void*, std::size_t) noexcept {}

}  // namespace klv::platform
