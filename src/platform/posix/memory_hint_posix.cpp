#include "platform/memory_hint.h"

#include <sys/mman.h>

#include <cstdint>

namespace klv::platform {

void AdviseLargeBuffer(void* start, std::size_t size) noexcept {
#ifdef MADV_HUGEPAGE
    // Large pages pay off only for buffers of several of them.
    constexpr std::size_t kLargePage = 2u << 20;
    if (size < 4 * kLargePage) return;
    // The advice covers whole large pages inside the buffer.
    const auto first = (reinterpret_cast<std::uintptr_t>(start) + kLargePage - 1) & ~(kLargePage - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(start) + size) & ~(kLargePage - 1);
    if (end > first) madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
#else
    (void)start;
    (void)size;
#endif
}

}  // namespace klv::platform
