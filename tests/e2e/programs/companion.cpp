// Stand-ins for the product's companion programs, one executable per role
// (KLV_ROLE: Installer, Cleaner, Control or Plain, set by the build). Toward the launcher they behave as
// the real ones do:
//   installer  KLVInst.exe HANDLE   posts WM_ENV_NOTIFY 1, then 2, to HANDLE
//   cleaner    KLVClr.exe HANDLE    closes the control program's windows (the
//                                   product stops before it is removed), then
//                                   posts WM_ENV_NOTIFY 3 to HANDLE
//   control    KLVCtrl.exe [HANDLE] shows a window of class "TFrm_CtrlMain"
//                                   (just below HANDLE's window when given)
//                                   until it is closed; with --quiet instead
//                                   only a message-only window of class
//                                   "KlvQuietControl" (the process without
//                                   its window), closed the same way
//   plain      KLVInfo.exe, KLVMan.exe start and end
// Each one first appends what it was given to the file named by the
// environment variable KLV_COMPANION_LOG (inherited through the launcher):
// one UTF-8 line "file name<TAB>command line<TAB>current folder" CR LF.
#include <windows.h>

#include <cstdint>
#include <cwchar>
#include <initializer_list>
#include <string>

namespace {

const UINT kEnvNotify = WM_USER + 0x44;

enum class Role { Installer, Cleaner, Control, Plain };
constexpr Role kRole = Role::KLV_ROLE;

std::string Utf8(const std::wstring& wide) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n - 1 : 0), '\0');
    if (n > 1) WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, &out[0], n, nullptr, nullptr);
    return out;
}

std::wstring OwnFileName() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    const wchar_t* slash = std::wcsrchr(path, L'\\');
    return slash != nullptr ? slash + 1 : path;
}

void Record() {
    wchar_t log[MAX_PATH] = {};
    if (GetEnvironmentVariableW(L"KLV_COMPANION_LOG", log, MAX_PATH) == 0) return;
    wchar_t folder[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, folder);
    const std::string line = Utf8(OwnFileName()) + "\t" + Utf8(GetCommandLineW()) + "\t" + Utf8(folder) + "\r\n";
    // Appends from several programs at once stay whole lines: one write each,
    // at the end of the file.
    for (int attempt = 0; attempt < 100; ++attempt) {
        HANDLE file = CreateFileW(log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
            CloseHandle(file);
            return;
        }
        Sleep(20);
    }
}

// The first argument after the program name, as the launcher passes it.
std::wstring FirstArgument() {
    const wchar_t* p = GetCommandLineW();
    if (*p == L'"') {
        ++p;
        while (*p != L'\0' && *p != L'"') ++p;
        if (*p == L'"') ++p;
    } else {
        while (*p != L'\0' && *p != L' ' && *p != L'\t') ++p;
    }
    while (*p == L' ' || *p == L'\t') ++p;
    std::wstring arg;
    while (*p != L'\0' && *p != L' ' && *p != L'\t') arg += *p++;
    return arg;
}

// The launcher's window from the decimal handle it passed; null for
// anything that is not the number of a window.
HWND LauncherWindow() {
    const std::wstring arg = FirstArgument();
    if (arg.empty() || arg.find_first_not_of(L"0123456789") != std::wstring::npos) return nullptr;
    const auto value = static_cast<std::uintptr_t>(std::wcstoull(arg.c_str(), nullptr, 10));
    HWND window = reinterpret_cast<HWND>(value);
    return IsWindow(window) ? window : nullptr;
}

// The product stops before the cleaner removes it.
void CloseControlWindows() {
    for (HWND w = FindWindowW(L"TFrm_CtrlMain", nullptr); w != nullptr;
         w = FindWindowExW(nullptr, w, L"TFrm_CtrlMain", nullptr))
        PostMessageW(w, WM_CLOSE, 0, 0);
}

int Notify(std::initializer_list<WPARAM> values) {
    HWND launcher = LauncherWindow();
    if (launcher == nullptr) return 2;
    for (WPARAM value : values) PostMessageW(launcher, kEnvNotify, value, 0);
    return 0;
}

LRESULT CALLBACK ControlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(window, &ps);
            RECT rc;
            GetClientRect(window, &rc);
            HBRUSH back = CreateSolidBrush(RGB(232, 244, 252));
            FillRect(dc, &rc, back);
            DeleteObject(back);
            SetBkMode(dc, TRANSPARENT);
            SetTextColor(dc, RGB(15, 76, 156));
            DrawTextW(dc, L"KLV控制程序（替身）正在运行", -1, &rc, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
            EndPaint(window, &ps);
            return 0;
        }
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

int RunControl(HINSTANCE instance) {
    const bool quiet = std::wcsstr(GetCommandLineW(), L"--quiet") != nullptr;
    WNDCLASSW wc{};
    wc.lpfnWndProc = ControlProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = quiet ? L"KlvQuietControl" : L"TFrm_CtrlMain";
    RegisterClassW(&wc);
    // A message-only window is no top-level window: a search by class does
    // not find it, yet it can be told to close.
    // Just below the launcher's window, so that a picture of the one shows
    // the other.
    RECT below{24, 24, 0, 0};
    if (HWND launcher = LauncherWindow()) {
        GetWindowRect(launcher, &below);
        below.top = below.bottom + 8;
    }
    HWND window =
        quiet ? CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr)
              : CreateWindowExW(WS_EX_TOOLWINDOW, wc.lpszClassName, L"KLV控制程序",
                                WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, below.left, below.top, 240, 64, nullptr,
                                nullptr, instance, nullptr);
    if (window == nullptr) return 1;
    if (!quiet) ShowWindow(window, SW_SHOWNOACTIVATE);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    Record();
    switch (kRole) {
        case Role::Installer:
            return Notify({1, 2});
        case Role::Cleaner:
            CloseControlWindows();
            return Notify({3});
        case Role::Control:
            return RunControl(instance);
        case Role::Plain:
            break;
    }
    return 0;
}
