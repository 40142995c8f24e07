#include "support/allocation_cap.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <new>

namespace {

// 0: no cap. Plain thread-local integers need no construction, so they are
// safe to read from operator new at any time, before main included.
thread_local std::size_t t_largest = 0;
thread_local std::size_t t_refused = 0;

using NewFunction = void* (*)(std::size_t);

// The operator new that this file hides: the next definition after the test
// binary, which is the sanitizer runtime's when one is linked, else the
// standard library's. Keeping it means every delete still matches its new.
NewFunction Next(const char* symbol) {
    auto next = reinterpret_cast<NewFunction>(::dlsym(RTLD_NEXT, symbol));
    if (!next) {
        std::fprintf(stderr, "allocation_cap: %s not found\n", symbol);
        std::abort();
    }
    return next;
}

bool Refuse(std::size_t size) {
    if (t_largest == 0 || size <= t_largest) return false;
    ++t_refused;
    return true;
}

}  // namespace

// Function-local statics: resolved once, safely when threads race to the
// first allocation. The names are the mangled operator new(size_t) and
// operator new[](size_t).
void* operator new(std::size_t size) {
    static const NewFunction next = Next(sizeof(std::size_t) == 8 ? "_Znwm" : "_Znwj");
    if (Refuse(size)) throw std::bad_alloc();
    return next(size);
}
void* operator new[](std::size_t size) {
    static const NewFunction next = Next(sizeof(std::size_t) == 8 ? "_Znam" : "_Znaj");
    if (Refuse(size)) throw std::bad_alloc();
    return next(size);
}

namespace klv::test {

AllocationCap::AllocationCap(std::size_t largestBytes) : previousLargest_(t_largest), refusedBefore_(t_refused) {
    t_largest = largestBytes;
}

AllocationCap::~AllocationCap() {
    t_largest = previousLargest_;
}

std::size_t AllocationCap::Refused() const {
    return t_refused - refusedBefore_;
}

}  // namespace klv::test
