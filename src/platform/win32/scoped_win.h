#pragma once
// Owners of the system's handles, one per way of releasing them, so that a
// handle is released on every path, early returns and exceptions included,
// by construction rather than by a call at each exit. Each owner is
// move-only and may be empty; an empty owner releases nothing.
#include <windows.h>

#include <memory>
#include <utility>

namespace klv::platform {

template <class Traits>
class ScopedResource {
public:
    using Handle = typename Traits::Handle;

    ScopedResource() = default;
    explicit ScopedResource(Handle handle) : handle_(handle) {}
    ~ScopedResource() { reset(); }
    ScopedResource(ScopedResource&& other) noexcept : handle_(other.release()) {}
    ScopedResource& operator=(ScopedResource&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ScopedResource(const ScopedResource&) = delete;
    ScopedResource& operator=(const ScopedResource&) = delete;

    Handle get() const { return handle_; }
    bool valid() const { return Traits::Valid(handle_); }
    explicit operator bool() const { return valid(); }
    // Gives the handle up without releasing it.
    Handle release() { return std::exchange(handle_, Traits::kEmpty); }
    void reset(Handle handle = Traits::kEmpty) {
        if (valid()) Traits::Free(handle_);
        handle_ = handle;
    }
    // For the calls that hand a new handle back through a pointer.
    Handle* out() {
        reset();
        return &handle_;
    }

private:
    Handle handle_ = Traits::kEmpty;
};

// CreateFile and the other kernel objects fail with INVALID_HANDLE_VALUE or
// with null, depending on the call: both are empty.
struct KernelHandleTraits {
    using Handle = HANDLE;
    static constexpr Handle kEmpty = nullptr;
    static bool Valid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Free(Handle h) { CloseHandle(h); }
};
using ScopedHandle = ScopedResource<KernelHandleTraits>;

// A directory search from FindFirstFile.
struct FindHandleTraits {
    using Handle = HANDLE;
    static inline const Handle kEmpty = INVALID_HANDLE_VALUE;
    static bool Valid(Handle h) { return h != INVALID_HANDLE_VALUE; }
    static void Free(Handle h) { FindClose(h); }
};
using ScopedFindHandle = ScopedResource<FindHandleTraits>;

// The handles whose empty value is null, released by one call.
template <class T, auto Release>
struct NullEmptyTraits {
    using Handle = T;
    static constexpr Handle kEmpty = nullptr;
    static bool Valid(Handle h) { return h != nullptr; }
    static void Free(Handle h) { Release(h); }
};

using ScopedRegistryKey = ScopedResource<NullEmptyTraits<HKEY, &RegCloseKey>>;
// A module from LoadLibrary (not GetModuleHandle, which counts no reference).
using ScopedModule = ScopedResource<NullEmptyTraits<HMODULE, &FreeLibrary>>;
// A device context from CreateCompatibleDC (one from GetDC is released with
// ReleaseDC instead).
using ScopedMemoryDc = ScopedResource<NullEmptyTraits<HDC, &DeleteDC>>;

// A pen, brush, font, bitmap or region. It must not be selected into a
// device context when it goes: select the old object back first. The
// drawing calls take it as it stands, as its raw handle; a temporary owner
// does not convert, so that no raw handle outlives the owner it came from.
template <class T>
class ScopedGdiObject : public ScopedResource<NullEmptyTraits<T, &DeleteObject>> {
public:
    using ScopedResource<NullEmptyTraits<T, &DeleteObject>>::ScopedResource;
    operator T() const& { return this->get(); }
    operator T() && = delete;
};

// Memory the system allocated for the caller to free with LocalFree: the
// buffers of FormatMessage, security descriptors, access lists.
struct LocalFreeDeleter {
    void operator()(void* memory) const { LocalFree(memory); }
};
template <class T>
using LocalMemory = std::unique_ptr<T, LocalFreeDeleter>;

// A SID made by AllocateAndInitializeSid, which FreeSid releases (a SID
// that came inside a security descriptor goes with the descriptor).
struct FreeSidDeleter {
    void operator()(void* sid) const { FreeSid(sid); }
};
using AllocatedSid = std::unique_ptr<void, FreeSidDeleter>;

// The SID of `authority` with up to two sub-authorities; empty when the
// system cannot make it.
inline AllocatedSid AllocateSid(SID_IDENTIFIER_AUTHORITY authority, BYTE count, DWORD first, DWORD second = 0) {
    PSID sid = nullptr;
    if (!AllocateAndInitializeSid(&authority, count, first, second, 0, 0, 0, 0, 0, 0, &sid)) return nullptr;
    return AllocatedSid(sid);
}

}  // namespace klv::platform
