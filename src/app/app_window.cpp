#include "app/app_window.h"

#include <vector>

#include "app/error_text.h"
#include "platform/win32/wide_text.h"
#include "texts/user_texts.h"

namespace klv {
namespace {

HWND g_applicationWindow = nullptr;

// The windows of this thread that a modal report must disable, and that get
// their input back when it closes.
class ThreadWindowsDisabled {
public:
    ThreadWindowsDisabled() {
        EnumThreadWindows(GetCurrentThreadId(), &Collect, reinterpret_cast<LPARAM>(this));
        for (HWND w : disabled_) EnableWindow(w, FALSE);
    }
    ~ThreadWindowsDisabled() {
        for (HWND w : disabled_)
            if (IsWindow(w)) EnableWindow(w, TRUE);
    }
    ThreadWindowsDisabled(const ThreadWindowsDisabled&) = delete;
    ThreadWindowsDisabled& operator=(const ThreadWindowsDisabled&) = delete;

private:
    static BOOL CALLBACK Collect(HWND w, LPARAM self) {
        if (w != g_applicationWindow && IsWindowVisible(w) && IsWindowEnabled(w))
            reinterpret_cast<ThreadWindowsDisabled*>(self)->disabled_.push_back(w);
        return TRUE;
    }
    std::vector<HWND> disabled_;
};

LRESULT CALLBACK ApplicationProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_SYSCOMMAND:
            // Minimising through the taskbar entry hides the windows it owns;
            // restoring it brings them back.
            if ((wp & 0xFFF0) == SC_MINIMIZE) ShowOwnedPopups(hwnd, FALSE);
            if ((wp & 0xFFF0) == SC_RESTORE) {
                const LRESULT result = DefWindowProcW(hwnd, msg, wp, lp);
                ShowOwnedPopups(hwnd, TRUE);
                return result;
            }
            break;
        case WM_SIZE:
            if (wp == SIZE_RESTORED) ShowOwnedPopups(hwnd, TRUE);
            break;
        case WM_ACTIVATE:
            // The taskbar entry activates this invisible window; hand the
            // activation on to the window the user last worked in.
            if (LOWORD(wp) != WA_INACTIVE) {
                HWND last = GetLastActivePopup(hwnd);
                if (last != nullptr && last != hwnd && IsWindowVisible(last)) SetActiveWindow(last);
                return 0;
            }
            break;
        case WM_CLOSE:
            return 0;
        default:
            break;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace

HWND CreateApplicationWindow(HINSTANCE instance) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = ApplicationProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = kApplicationWindowClass;
    RegisterClassExW(&wc);
    // Zero-sized but shown: an unowned, visible window is what gives the
    // process its taskbar entry, titled with the application title.
    const int x = GetSystemMetrics(SM_CXSCREEN) / 2;
    const int y = GetSystemMetrics(SM_CYSCREEN) / 2;
    g_applicationWindow = CreateWindowExW(0, kApplicationWindowClass, texts::kApplicationTitle,
                                          WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX, x, y,
                                          0, 0, nullptr, nullptr, instance, nullptr);
    if (g_applicationWindow != nullptr) {
        SetWindowPos(g_applicationWindow, nullptr, x, y, 0, 0, SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    }
    return g_applicationWindow;
}

HWND ApplicationWindow() {
    return g_applicationWindow;
}

void ShowApplicationBox(const std::wstring& text, const std::wstring& caption, UINT icon) noexcept {
    try {
        ThreadWindowsDisabled disabled;
        MessageBoxW(g_applicationWindow, text.c_str(), caption.c_str(), MB_OK | icon);
    } catch (...) {
        // Without memory for the list of windows there is no box either.
    }
}

void ShowErrorReport(const std::string& message) noexcept {
    try {
        ShowApplicationBox(platform::WidenAnsi(ErrorReportText(message)), texts::kApplicationTitle, MB_ICONERROR);
    } catch (...) {
        // Nothing is left to report with; the launcher goes on.
    }
}

}  // namespace klv
