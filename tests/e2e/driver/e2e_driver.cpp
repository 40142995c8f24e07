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
//   describe CLASS                   print text, rect, client, visible, enabled, owner
//   children CLASS                   print its children from top to bottom of the
//                                    stacking order: id, visible, rect (parent client), text
//   region CLASS X,Y...              print 1/0 per point: inside the window region
//   click CLASS ID                   post BM_CLICK to the child with control ID
//   mouse CLASS ID EVENT X Y         send a mouse message (ldown lup rdown rup move)
//   box                              print text, caption and owner of the message box
//   box-ok                           press OK on the message box
//   foreground                       print class and text of the foreground window
//   post-registered CLASS NAME WP    post the registered message NAME with wParam WP
//   post CLASS MSG WP                post message number MSG (0x.. or decimal)
//   time-start EXE CLASS             start EXE, print milliseconds until a visible
//                                    window of CLASS of that process, then close it
#include <windows.h>
#include <shellapi.h>

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

HWND FindByClass(const std::wstring& cls) { return FindWindowW(cls.c_str(), nullptr); }

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
    if (event == L"ldown") msg = WM_LBUTTONDOWN, keys = MK_LBUTTON;
    else if (event == L"lup") msg = WM_LBUTTONUP;
    else if (event == L"rdown") msg = WM_RBUTTONDOWN, keys = MK_RBUTTON;
    else if (event == L"rup") msg = WM_RBUTTONUP;
    else if (event == L"move") msg = WM_MOUSEMOVE;
    else return 2;
    SendMessageW(child, msg, keys, MAKELPARAM(x, y));
    return 0;
}

int Box() {
    HWND box = FindBox();
    if (box == nullptr) {
        std::fprintf(stderr, "no message box\n");
        return 1;
    }
    std::wstring text;
    for (HWND c = GetWindow(box, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT))
        if (ClassOf(c) == L"Static" && !TextOf(c).empty()) text = TextOf(c);
    HWND owner = GetWindow(box, GW_OWNER);
    std::printf("text=%s\ncaption=%s\n", Narrow(text).c_str(), Narrow(TextOf(box)).c_str());
    std::printf("owner_class=%s\n", Narrow(owner ? ClassOf(owner) : L"").c_str());
    return 0;
}

int BoxOk() {
    HWND box = FindBox();
    if (box == nullptr) return 1;
    HWND ok = GetDlgItem(box, IDOK);
    if (ok == nullptr) return 1;
    PostMessageW(ok, BM_CLICK, 0, 0);
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
    std::printf("%.1f\n", static_cast<double>(now.QuadPart - start.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart));
    HWND w = FindByClass(cls);
    if (w != nullptr) PostMessageW(w, WM_CLOSE, 0, 0);
    WaitForSingleObject(pi.hProcess, 30000);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return 0;
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
        PostMessageW(child, BM_CLICK, 0, 0);
        return 0;
    }
    if (command == L"mouse" && argc == 7)
        return Mouse(window, std::wcstol(argv[3], nullptr, 10), argv[4], std::wcstol(argv[5], nullptr, 10),
                     std::wcstol(argv[6], nullptr, 10));
    if (command == L"post" && argc == 5) {
        PostMessageW(window, static_cast<UINT>(std::wcstoul(argv[3], nullptr, 0)), std::wcstoul(argv[4], nullptr, 0), 0);
        return 0;
    }
    if (command == L"post-registered" && argc == 5) {
        PostMessageW(window, RegisterWindowMessageW(argv[3]), std::wcstoul(argv[4], nullptr, 10), 0);
        return 0;
    }
    return Usage();
}
