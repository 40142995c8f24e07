// A do-nothing program whose only purpose is to be inspected by the tests.
// Where KLV_SUBJECT_TRACE names a file, it writes there the file it was
// started from and the folder it was started in: how a test sees that a
// script started it, and from where.
#include <windows.h>

int main() {
    char trace[MAX_PATH] = {};
    const DWORD n = GetEnvironmentVariableA("KLV_SUBJECT_TRACE", trace, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return 0;
    char module[MAX_PATH] = {}, folder[MAX_PATH] = {};
    const DWORD moduleLength = GetModuleFileNameA(nullptr, module, MAX_PATH);
    const DWORD folderLength = GetCurrentDirectoryA(MAX_PATH, folder);
    // Written under another name and renamed: the test never reads half a trace.
    char partial[MAX_PATH + 2] = {};
    lstrcpyA(partial, trace);
    lstrcatA(partial, "~");
    const HANDLE file = CreateFileA(partial, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    WriteFile(file, module, moduleLength, &written, nullptr);
    WriteFile(file, "\n", 1, &written, nullptr);
    WriteFile(file, folder, folderLength, &written, nullptr);
    CloseHandle(file);
    return MoveFileExA(partial, trace, MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
