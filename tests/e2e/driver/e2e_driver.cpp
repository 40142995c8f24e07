// The end-to-end driver: a console Windows program that looks at and acts on
// the windows of the program under test, as a user or a companion program
// would. One command per run; exit code 0 means the check held. Texts are
// printed as UTF-8, rectangles as "left top width height".
//
//   wait-window CLASS TIMEOUT_MS     wait until a window of CLASS exists
//   wait-gone CLASS TIMEOUT_MS       wait until no window of CLASS exists
//   expect-text CLASS TEXT           the window's text (UTF-8 argument) equals TEXT
//   close-window CLASS               post WM_CLOSE to it
//   count CLASS                      print the number of top-level windows of CLASS
//   describe CLASS                   print text, handle (decimal), rect, client, visible,
//                                    enabled, owner
//   children CLASS                   print its children from top to bottom of the
//                                    stacking order: id, visible, rect (parent client), text
//   region CLASS X,Y...              print 1/0 per point: inside the window region
//   click CLASS ID                   click the child with control ID: BM_CLICK for a
//                                    button, a posted press and release for other controls
//   mouse CLASS ID EVENT X Y         send a mouse message (ldown lup rdown rup move)
//   box                              print text, caption, owner and icon of the message
//                                    box (icon=information, warning, error or none, told
//                                    by the colours the icon shows on screen)
//   box-ok                           press OK on the message box and wait until that box
//                                    has gone
//   foreground                       print class and text of the foreground window
//   post-registered CLASS NAME WP    post the registered message NAME with wParam WP
//   post CLASS MSG WP                post message number MSG (0x.. or decimal)
//   time-start EXE CLASS             start EXE, print milliseconds until a visible
//                                    window of CLASS of that process, then close it
//   watch-start [--close] EXE [ARGS] start EXE and wait for its end; print how many
//                                    windows it created (and showed, where the system
//                                    reports that), their classes, and its exit code.
//                                    --close closes each top-level window it creates (a
//                                    check that the watch sees windows at all)
// A class that names no top-level window is looked up among message-only
// windows too (a program that runs without a window a search could find).
#include <windows.h>
#include <shellapi.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::string Narrow(const std::wstring& wide) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n - 1 : 0), '\0');
    if (n > 1) WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, &out[0], n, nullptr, nullptr);
    return out;
}

std::wstring TextOf(HWND w) {
    wchar_t text[2048] = {};
    GetWindowTextW(w, text, 2048);
    return text;
}

std::wstring ClassOf(HWND w) {
    wchar_t name[256] = {};
    GetClassNameW(w, name, 256);
    return name;
}

HWND FindByClass(const std::wstring& cls) {
    HWND w = FindWindowW(cls.c_str(), nullptr);
    return w != nullptr ? w : FindWindowExW(HWND_MESSAGE, nullptr, cls.c_str(), nullptr);
}

void PrintRect(const char* label, const RECT& r) {
    std::printf("%s=%ld %ld %ld %ld\n", label, r.left, r.top, r.right - r.left, r.bottom - r.top);
}

bool WaitFor(const std::wstring& cls, DWORD limit, bool present) {
    const DWORD start = GetTickCount();
    while ((FindByClass(cls) != nullptr) != present) {
        if (GetTickCount() - start > limit) return false;
        Sleep(20);
    }
    return true;
}

struct CountState {
    std::wstring cls;
    int count = 0;
};

BOOL CALLBACK CountWindows(HWND w, LPARAM p) {
    auto* state = reinterpret_cast<CountState*>(p);
    if (ClassOf(w) == state->cls) ++state->count;
    return TRUE;
}

// The message box on screen: a visible top-level dialog.
HWND FindBox() {
    for (HWND w = FindWindowW(L"#32770", nullptr); w != nullptr; w = FindWindowExW(nullptr, w, L"#32770", nullptr))
        if (IsWindowVisible(w)) return w;
    return nullptr;
}

int Describe(HWND w) {
    RECT r, c;
    GetWindowRect(w, &r);
    GetClientRect(w, &c);
    std::printf("text=%s\n", Narrow(TextOf(w)).c_str());
    std::printf("handle=%llu\n", static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(w)));
    PrintRect("rect", r);
    std::printf("client=%ld %ld\n", c.right, c.bottom);
    std::printf("visible=%d\nenabled=%d\n", IsWindowVisible(w) ? 1 : 0, IsWindowEnabled(w) ? 1 : 0);
    std::printf("style=%08lx\n", static_cast<unsigned long>(GetWindowLongW(w, GWL_STYLE)));
    HWND owner = GetWindow(w, GW_OWNER);
    std::printf("owner_class=%s\nowner_text=%s\n", Narrow(owner ? ClassOf(owner) : L"").c_str(),
                Narrow(owner ? TextOf(owner) : L"").c_str());
    std::printf("owner_visible=%d\n", owner && IsWindowVisible(owner) ? 1 : 0);
    return 0;
}

int Children(HWND parent) {
    for (HWND w = GetWindow(parent, GW_CHILD); w != nullptr; w = GetWindow(w, GW_HWNDNEXT)) {
        RECT r;
        GetWindowRect(w, &r);
        MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
        std::printf("%d\t%d\t%ld %ld %ld %ld\t%s\n", GetDlgCtrlID(w), IsWindowVisible(w) ? 1 : 0, r.left, r.top,
                    r.right - r.left, r.bottom - r.top, Narrow(TextOf(w)).c_str());
    }
    return 0;
}

int Region(HWND w, int argc, wchar_t** argv) {
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    if (GetWindowRgn(w, region) == ERROR) {
        std::fprintf(stderr, "the window has no region\n");
        return 1;
    }
    for (int i = 3; i < argc; ++i) {
        const std::wstring pair = argv[i];
        const size_t comma = pair.find(L',');
        const int x = std::wcstol(pair.substr(0, comma).c_str(), nullptr, 10);
        const int y = std::wcstol(pair.substr(comma + 1).c_str(), nullptr, 10);
        std::printf("%d%s", PtInRegion(region, x, y) ? 1 : 0, i + 1 < argc ? " " : "\n");
    }
    DeleteObject(region);
    return 0;
}

int Mouse(HWND parent, int id, const std::wstring& event, int x, int y) {
    HWND child = GetDlgItem(parent, id);
    if (child == nullptr) return 1;
    UINT msg = 0;
    WPARAM keys = 0;
    if (event == L"ldown")
        msg = WM_LBUTTONDOWN, keys = MK_LBUTTON;
    else if (event == L"lup")
        msg = WM_LBUTTONUP;
    else if (event == L"rdown")
        msg = WM_RBUTTONDOWN, keys = MK_RBUTTON;
    else if (event == L"rup")
        msg = WM_RBUTTONUP;
    else if (event == L"move")
        msg = WM_MOUSEMOVE;
    else
        return 2;
    SendMessageW(child, msg, keys, MAKELPARAM(x, y));
    return 0;
}

// The kind of icon a message box shows, from the pixels on screen: the
// icon's handle belongs to the other process and cannot be read from here.
// Information is drawn in blue, a warning in yellow, an error in red.
const char* IconKind(HWND iconControl) {
    RECT r;
    GetWindowRect(iconControl, &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0) return "none";
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    int blue = 0, yellow = 0, red = 0;
    const auto* pixel = static_cast<const unsigned char*>(bits);
    for (int i = 0; i < w * h; ++i, pixel += 4) {
        const int b = pixel[0], g = pixel[1], rd = pixel[2];
        if (b > 150 && rd < 120 && g < 200)
            ++blue;
        else if (rd > 180 && g > 140 && b < 110)
            ++yellow;
        else if (rd > 170 && g < 90 && b < 90)
            ++red;
    }
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    const int least = w * h / 20;
    if (blue >= least && blue >= yellow && blue >= red) return "information";
    if (yellow >= least && yellow >= red) return "warning";
    if (red >= least) return "error";
    return "none";
}

int Box() {
    HWND box = FindBox();
    if (box == nullptr) {
        std::fprintf(stderr, "no message box\n");
        return 1;
    }
    std::wstring text;
    HWND icon = nullptr;
    for (HWND c = GetWindow(box, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
        if (ClassOf(c) != L"Static") continue;
        if ((GetWindowLongW(c, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
            icon = c;
        else if (!TextOf(c).empty())
            text = TextOf(c);
    }
    // A box that has only just appeared may not have drawn its icon yet.
    const char* kind = "none";
    for (int attempt = 0; icon != nullptr && IsWindowVisible(icon) && attempt < 50; ++attempt) {
        kind = IconKind(icon);
        if (std::string(kind) != "none") break;
        Sleep(50);
    }
    HWND owner = GetWindow(box, GW_OWNER);
    std::printf("text=%s\ncaption=%s\n", Narrow(text).c_str(), Narrow(TextOf(box)).c_str());
    std::printf("owner_class=%s\n", Narrow(owner ? ClassOf(owner) : L"").c_str());
    std::printf("icon=%s\n", kind);
    return 0;
}

int BoxOk() {
    HWND box = FindBox();
    if (box == nullptr) return 1;
    HWND ok = GetDlgItem(box, IDOK);
    if (ok == nullptr) return 1;
    PostMessageW(ok, BM_CLICK, 0, 0);
    // This box, not any box: the action may open the next one at once.
    const DWORD start = GetTickCount();
    while (IsWindow(box)) {
        if (GetTickCount() - start > 10000) return 1;
        Sleep(20);
    }
    return 0;
}

struct ProcessWindow {
    DWORD pid;
    std::wstring cls;
    bool found = false;
};

BOOL CALLBACK FindVisibleOf(HWND w, LPARAM p) {
    auto* state = reinterpret_cast<ProcessWindow*>(p);
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    if (pid == state->pid && IsWindowVisible(w) && ClassOf(w) == state->cls) state->found = true;
    return state->found ? FALSE : TRUE;
}

int TimeStart(const std::wstring& exe, const std::wstring& cls) {
    std::wstring commandLine = L"\"" + exe + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    LARGE_INTEGER frequency, start, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return 1;
    ProcessWindow state{pi.dwProcessId, cls};
    for (;;) {
        EnumWindows(FindVisibleOf, reinterpret_cast<LPARAM>(&state));
        QueryPerformanceCounter(&now);
        if (state.found) break;
        if (now.QuadPart - start.QuadPart > frequency.QuadPart * 60) return 1;
        Sleep(1);
    }
    std::printf("%.1f\n",
                static_cast<double>(now.QuadPart - start.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart));
    HWND w = FindByClass(cls);
    if (w != nullptr) PostMessageW(w, WM_CLOSE, 0, 0);
    WaitForSingleObject(pi.hProcess, 30000);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return 0;
}

int Usage();

struct Watch {
    bool closeCreated = false;
    int created = 0;
    int shown = 0;
    std::wstring classes;
};
Watch g_watch;

void CALLBACK OnWatchedWindow(HWINEVENTHOOK, DWORD event, HWND w, LONG object, LONG, DWORD, DWORD) {
    if (object != OBJID_WINDOW || w == nullptr) return;
    if (event == EVENT_OBJECT_CREATE) {
        ++g_watch.created;
        const std::wstring cls = ClassOf(w);
        g_watch.classes += (g_watch.classes.empty() ? L"" : L",") + cls;
        // The system's own input-method window goes with its thread.
        if (g_watch.closeCreated && cls != L"IME" && GetAncestor(w, GA_PARENT) == GetDesktopWindow())
            PostMessageW(w, WM_CLOSE, 0, 0);
    } else if (event == EVENT_OBJECT_SHOW) {
        ++g_watch.shown;
    }
}

int WatchStart(int argc, wchar_t** argv) {
    int at = 2;
    if (at < argc && std::wstring(argv[at]) == L"--close") g_watch.closeCreated = true, ++at;
    if (at >= argc) return Usage();
    std::wstring commandLine = L"\"" + std::wstring(argv[at]) + L"\"";
    for (int i = at + 1; i < argc; ++i) commandLine += L" " + std::wstring(argv[i]);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    // Suspended until the hook is in place, so that not even its first
    // window escapes the watch.
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr, &si,
                        &pi))
        return 1;
    HWINEVENTHOOK hook = SetWinEventHook(EVENT_OBJECT_CREATE, EVENT_OBJECT_SHOW, nullptr, OnWatchedWindow,
                                         pi.dwProcessId, 0, WINEVENT_OUTOFCONTEXT);
    ResumeThread(pi.hThread);
    const DWORD start = GetTickCount();
    bool ended = false;
    while (!ended && GetTickCount() - start < 120000) {
        ended = MsgWaitForMultipleObjects(1, &pi.hProcess, FALSE, 1000, QS_ALLINPUT) == WAIT_OBJECT_0;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
    // Events of the last moments may still be on their way.
    for (int i = 0; i < 10; ++i) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        Sleep(20);
    }
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    if (hook != nullptr) UnhookWinEvent(hook);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    std::printf("created=%d\nshown=%d\nclasses=%s\nexit=%lu\n", g_watch.created, g_watch.shown,
                Narrow(g_watch.classes).c_str(), static_cast<unsigned long>(code));
    return ended && hook != nullptr ? 0 : 1;
}

int Usage() {
    std::fprintf(stderr, "usage: see the head of e2e_driver.cpp\n");
    return 2;
}

}  // namespace

int main() {
    // Arguments are read as UTF-16: the narrow argv is in the ANSI code page
    // (936 here) and could not carry every text the checks compare.
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argc < 2) return Usage();
    const std::wstring command = argv[1];
    if (command == L"box") return Box();
    if (command == L"box-ok") return BoxOk();
    if (command == L"foreground") {
        HWND w = GetForegroundWindow();
        std::printf("class=%s\ntext=%s\n", Narrow(w ? ClassOf(w) : L"").c_str(), Narrow(w ? TextOf(w) : L"").c_str());
        return 0;
    }
    if (argc < 3) return Usage();
    if (command == L"wait-window" && argc == 4)
        return WaitFor(argv[2], static_cast<DWORD>(std::wcstoul(argv[3], nullptr, 10)), true) ? 0 : 1;
    if (command == L"wait-gone" && argc == 4)
        return WaitFor(argv[2], static_cast<DWORD>(std::wcstoul(argv[3], nullptr, 10)), false) ? 0 : 1;
    if (command == L"count") {
        CountState state{argv[2]};
        EnumWindows(CountWindows, reinterpret_cast<LPARAM>(&state));
        std::printf("%d\n", state.count);
        return 0;
    }
    if (command == L"time-start" && argc == 4) return TimeStart(argv[2], argv[3]);
    if (command == L"watch-start") return WatchStart(argc, argv);
    HWND window = FindByClass(argv[2]);
    if (!window) {
        std::fprintf(stderr, "no window of class %s\n", Narrow(argv[2]).c_str());
        return 1;
    }
    if (command == L"expect-text" && argc == 4) {
        if (TextOf(window) == argv[3]) return 0;
        std::fprintf(stderr, "window text is '%s', expected '%s'\n", Narrow(TextOf(window)).c_str(),
                     Narrow(argv[3]).c_str());
        return 1;
    }
    if (command == L"close-window") {
        PostMessageW(window, WM_CLOSE, 0, 0);
        return 0;
    }
    if (command == L"describe") return Describe(window);
    if (command == L"children") return Children(window);
    if (command == L"region") return Region(window, argc, argv);
    if (command == L"click" && argc == 4) {
        HWND child = GetDlgItem(window, std::wcstol(argv[3], nullptr, 10));
        if (child == nullptr) return 1;
        if (_wcsicmp(ClassOf(child).c_str(), L"Button") == 0) {
            PostMessageW(child, BM_CLICK, 0, 0);
            return 0;
        }
        // Any other control (a link) gets the press and release of a click
        // at its centre, posted: the action it starts may open a modal box.
        RECT r;
        GetClientRect(child, &r);
        const LPARAM centre = MAKELPARAM(r.right / 2, r.bottom / 2);
        PostMessageW(child, WM_LBUTTONDOWN, MK_LBUTTON, centre);
        PostMessageW(child, WM_LBUTTONUP, 0, centre);
        return 0;
    }
    if (command == L"mouse" && argc == 7)
        return Mouse(window, std::wcstol(argv[3], nullptr, 10), argv[4], std::wcstol(argv[5], nullptr, 10),
                     std::wcstol(argv[6], nullptr, 10));
    if (command == L"post" && argc == 5) {
        PostMessageW(window, static_cast<UINT>(std::wcstoul(argv[3], nullptr, 0)), std::wcstoul(argv[4], nullptr, 0),
                     0);
        return 0;
    }
    if (command == L"post-registered" && argc == 5) {
        PostMessageW(window, RegisterWindowMessageW(argv[3]), std::wcstoul(argv[4], nullptr, 10), 0);
        return 0;
    }
    return Usage();
}
