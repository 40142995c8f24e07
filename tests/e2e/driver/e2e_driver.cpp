// The end-to-end driver: a console Windows program that looks at and acts on
// the windows of the program under test, as a user or a companion program
// would. One command per run; exit code 0 means the check held.
//
//   wait-window CLASS TIMEOUT_MS     wait until a window of CLASS exists
//   expect-text CLASS TEXT           the window's text (UTF-8 argument) equals TEXT
//   close-window CLASS               post WM_CLOSE to it
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string Narrow(const std::wstring& wide) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n - 1 : 0), '\0');
    if (n > 1) WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, &out[0], n, nullptr, nullptr);
    return out;
}

HWND FindByClass(const std::wstring& cls) { return FindWindowW(cls.c_str(), nullptr); }

int Usage() {
    std::fprintf(stderr, "usage: e2e_driver wait-window CLASS MS | expect-text CLASS TEXT | close-window CLASS\n");
    return 2;
}

}  // namespace

int main() {
    // Arguments are read as UTF-16: the narrow argv is in the ANSI code page
    // (936 here) and could not carry every text the checks compare.
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argc < 3) return Usage();
    const std::wstring command = argv[1];
    if (command == L"wait-window" && argc == 4) {
        const DWORD limit = static_cast<DWORD>(std::wcstoul(argv[3], nullptr, 10));
        const DWORD start = GetTickCount();
        while (!FindByClass(argv[2])) {
            if (GetTickCount() - start > limit) {
                std::fprintf(stderr, "no window of class %s\n", Narrow(argv[2]).c_str());
                return 1;
            }
            Sleep(50);
        }
        return 0;
    }
    HWND window = FindByClass(argv[2]);
    if (!window) {
        std::fprintf(stderr, "no window of class %s\n", Narrow(argv[2]).c_str());
        return 1;
    }
    if (command == L"expect-text" && argc == 4) {
        wchar_t text[1024] = {};
        GetWindowTextW(window, text, 1024);
        if (std::wstring(text) == argv[3]) return 0;
        std::fprintf(stderr, "window text is '%s', expected '%s'\n", Narrow(text).c_str(), Narrow(argv[3]).c_str());
        return 1;
    }
    if (command == L"close-window") {
        PostMessageW(window, WM_CLOSE, 0, 0);
        return 0;
    }
    return Usage();
}
