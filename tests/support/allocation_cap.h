#pragma once
// Makes large allocations on the calling thread fail with std::bad_alloc, for
// as long as an AllocationCap lives. It stands for what a test cannot have
// otherwise: a launcher whose address space has run out (a 32-bit process, a
// machine under `ulimit -v`). The sanitizer runtimes abort the process when
// memory runs out instead of throwing, so no real limit can show how the code
// copes with a failed allocation under them.
//
// Only the test binary's global operator new is replaced; every allocation
// under the cap is passed on to the runtime's own operator new (the
// sanitizer's, or the standard library's), so nothing else changes.
#include <cstddef>

namespace klv::test {

class AllocationCap {
public:
    // Allocations of more than `largestBytes` on this thread fail.
    explicit AllocationCap(std::size_t largestBytes);
    ~AllocationCap();
    AllocationCap(const AllocationCap&) = delete;
    AllocationCap& operator=(const AllocationCap&) = delete;

    // Allocations refused on this thread since the cap was set.
    std::size_t Refused() const;

private:
    std::size_t previousLargest_;
    std::size_t refusedBefore_;
};

}  // namespace klv::test
