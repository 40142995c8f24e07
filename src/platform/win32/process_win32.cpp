#include <windows.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <cstring>

#include "platform/path_text.h"
#include "platform/process.h"
#include "platform/win32/scoped_win.h"

namespace klv::platform {
namespace {

// The 8-bit process entry; its size field must say 296 on the 32-bit system
// the launcher is built for (the wide entry and the 64-bit one are larger).
#if !defined(_WIN64)
static_assert(sizeof(PROCESSENTRY32) == 296, "the 8-bit process entry of 32-bit Windows is 296 bytes");
#endif

using CreateSnapshotFn = HANDLE(WINAPI*)(DWORD, DWORD);
using ProcessWalkFn = BOOL(WINAPI*)(HANDLE, PROCESSENTRY32*);

// The snapshot functions are looked up at run time: systems without them
// (the first NT releases) must still start the launcher, and there the
// answer is simply "not running".
template <class Fn>
Fn Kernel32Function(const char* name) {
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (kernel == nullptr) return nullptr;
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(kernel, name)));
}

}  // namespace

bool IsProcessRunning(const std::string& exeName) {
    const auto create = Kernel32Function<CreateSnapshotFn>("CreateToolhelp32Snapshot");
    const auto first = Kernel32Function<ProcessWalkFn>("Process32First");
    const auto next = Kernel32Function<ProcessWalkFn>("Process32Next");
    if (create == nullptr || first == nullptr || next == nullptr) return false;

    const ScopedHandle snapshot(create(TH32CS_SNAPPROCESS, 0));
    if (!snapshot.valid()) return false;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = first(snapshot.get(), &entry); more; more = next(snapshot.get(), &entry)) {
        // The name ends at its terminating zero, and never past the field.
        const std::string name(entry.szExeFile, strnlen(entry.szExeFile, sizeof entry.szExeFile));
        if (SameAsciiText(name, exeName)) return true;
    }
    return false;
}

bool TopLevelWindowExists(const std::string& className) {
    return FindWindowA(className.c_str(), nullptr) != nullptr;
}

void ShellOpen(WindowId owner, const std::string& file, const std::string& parameters) {
    ShellExecuteA(reinterpret_cast<HWND>(owner), "open", file.c_str(), parameters.c_str(), nullptr, SW_SHOWNORMAL);
}

void RunProgram(const std::string& path) {
    WinExec(ProgramCommandLine(path).c_str(), SW_SHOWNORMAL);
}

}  // namespace klv::platform
