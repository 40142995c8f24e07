// The main window's keyboard: the focus order of its three buttons and their
// accelerators, handled in the message loop before dispatch.
#include <cwctype>

#include "app/app_window.h"
#include "app/main_window.h"

namespace klv {

void TFrm_OxMain::MoveFocus(bool backwards) {
    const HWND order[] = {btUser_, btExit_, btAuth_};
    const int n = 3;
    int at = 0;
    for (int i = 0; i < n; ++i)
        if (order[i] == GetFocus()) at = i;
    for (int step = 1; step <= n; ++step) {
        const HWND next = order[(at + (backwards ? n - step : step)) % n];
        if (IsWindowVisible(next) && IsWindowEnabled(next)) {
            SetFocus(next);
            return;
        }
    }
}

bool TFrm_OxMain::PreTranslate(const MSG& msg) {
    if (hwnd_ == nullptr || (msg.hwnd != hwnd_ && !IsChild(hwnd_, msg.hwnd))) return false;
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_TAB) {
        MoveFocus(GetKeyState(VK_SHIFT) < 0);
        return true;
    }
    // Alt+S, Alt+E, Alt+A anywhere in the window; the bare letter too while a
    // button has the focus.
    const bool alt = msg.message == WM_SYSCHAR;
    const bool plain =
        msg.message == WM_CHAR && (GetFocus() == btUser_ || GetFocus() == btExit_ || GetFocus() == btAuth_);
    if (!alt && !plain) return false;
    const wint_t key = std::towupper(static_cast<wint_t>(msg.wParam));
    HWND target = key == L'S' ? btUser_ : key == L'E' ? btExit_ : key == L'A' ? btAuth_ : nullptr;
    if (target == nullptr) return false;
    if (IsWindowVisible(target) && IsWindowEnabled(target)) {
        SetFocus(target);
        const int id = GetDlgCtrlID(target);
        RunAction([&] { OnCommand(id); });
    }
    return true;
}

}  // namespace klv
