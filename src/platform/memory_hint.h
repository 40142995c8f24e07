#pragma once
// Hints to the system's memory manager.
#include <cstddef>

namespace klv::platform {

// A large buffer that is about to be filled from its start: where the system
// can, it is backed by large pages. A fresh 256 MiB body in small pages costs
// 65,536 page faults, and on some virtual machines those faults are most of a
// download's time. Only a hint: nothing changes when the system declines,
// and the Windows build asks nothing.
void AdviseLargeBuffer(void* start, std::size_t size) noexcept;

}  // namespace klv::platform
