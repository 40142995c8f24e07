#include "platform/clock.h"

#include <windows.h>

namespace klv::platform {

std::uint32_t HighResolutionCounterLow32() {
    LARGE_INTEGER counter;
    if (QueryPerformanceCounter(&counter)) return static_cast<std::uint32_t>(counter.LowPart);
    return GetTickCount();
}

std::uint64_t MonotonicMilliseconds() {
    return GetTickCount64();
}

}  // namespace klv::platform
