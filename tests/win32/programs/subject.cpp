// A do-nothing program whose only purpose is to be inspected by the tests.
// Where KLV_SUBJECT_TRACE names a file, it writes there the file it was
// started from and the folder it was started in, one a line: how a test sees
// that a script started it, and from where.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main() {
    const char* trace = std::getenv("KLV_SUBJECT_TRACE");
    if (trace == nullptr) return 0;
    char module[MAX_PATH] = {}, folder[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, module, MAX_PATH);
    GetCurrentDirectoryA(MAX_PATH, folder);
    // Written under another name first: the test never reads half a trace.
    const std::string partial = std::string(trace) + "~";
    std::FILE* file = std::fopen(partial.c_str(), "wb");
    if (file == nullptr) return 1;
    std::fprintf(file, "%s\n%s", module, folder);
    std::fclose(file);
    return MoveFileExA(partial.c_str(), trace, MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
