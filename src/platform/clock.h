#pragma once
#include <cstdint>

namespace klv::platform {

// Low 32 bits of the platform's high-resolution counter (QueryPerformanceCounter
// on Windows, falling back to GetTickCount; a monotonic clock in nanoseconds on
// POSIX). Used to seed the request scrambler.
std::uint32_t HighResolutionCounterLow32();

// Milliseconds from a monotonic clock, for time-outs.
std::uint64_t MonotonicMilliseconds();

}  // namespace klv::platform
