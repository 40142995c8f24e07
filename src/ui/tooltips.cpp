#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include "ui/controls.h"

namespace klv::ui {

Tooltips::Tooltips(HWND parent) : parent_(parent) {
    // The common controls are loaded on first use rather than at process
    // start: only the tooltips need them, and not before the window shows.
    HMODULE library = LoadLibraryW(L"comctl32.dll");
    using InitFunction = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    auto init =
        library
            ? reinterpret_cast<InitFunction>(reinterpret_cast<void*>(GetProcAddress(library, "InitCommonControlsEx")))
            : nullptr;
    if (init == nullptr) return;
    INITCOMMONCONTROLSEX classes{sizeof classes, ICC_WIN95_CLASSES};
    init(&classes);
    hwnd_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                            CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, parent, nullptr,
                            GetModuleHandleW(nullptr), nullptr);
}

void Tooltips::Set(HWND tool, const std::wstring& text) {
    if (hwnd_ == nullptr) return;
    TTTOOLINFOW info{};
    info.cbSize = sizeof info;
    info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    info.hwnd = parent_;
    info.uId = reinterpret_cast<UINT_PTR>(tool);
    SendMessageW(hwnd_, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&info));
    if (text.empty()) return;
    std::wstring copy = text;
    info.lpszText = &copy[0];
    SendMessageW(hwnd_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
}

}  // namespace klv::ui
