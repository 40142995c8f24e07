#include "platform/clock.h"

#include <time.h>

namespace klv::platform {

std::uint32_t HighResolutionCounterLow32() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const auto ns = static_cast<std::uint64_t>(ts.tv_sec) * 1000000000u + static_cast<std::uint64_t>(ts.tv_nsec);
    return static_cast<std::uint32_t>(ns);
}

std::uint64_t MonotonicMilliseconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::uint64_t>(ts.tv_sec) * 1000u + static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
}

}  // namespace klv::platform
