#pragma once
// The application's own top-level window and the default error report.
//
// The application window is never seen: it has no size, carries the
// application title (texts::kApplicationTitle, the text of the launcher's
// taskbar entry) and owns the main window and the error report. Restoring it
// shows the windows it owns again.
#include <windows.h>

#include <exception>
#include <string>

namespace klv {

inline constexpr wchar_t kApplicationWindowClass[] = L"KlvApplication";

HWND CreateApplicationWindow(HINSTANCE instance);
HWND ApplicationWindow();

// A modal box with one OK button owned by the application window, as the
// boxes that are not the main window's own are. Every other window of the
// launcher is disabled while it is open: the main window is not its owner,
// and a click on it meanwhile would start a second action inside the first.
void ShowApplicationBox(const std::wstring& text, const std::wstring& caption, UINT icon) noexcept;

// Shows message (ANSI text) by the rule of ErrorReportText, captioned with the
// application title, with the error icon, owned by the application window and
// with every other window of the launcher disabled while it is open.
void ShowErrorReport(const std::string& message) noexcept;

// Runs one handler; an error escaping it ends that handler only and is shown
// by the error report. Returns false when the handler failed.
template <class Handler>
bool RunGuarded(Handler&& handler) noexcept {
    try {
        handler();
        return true;
    } catch (const std::exception& error) {
        ShowErrorReport(error.what());
    } catch (...) {
        ShowErrorReport("Unknown error");
    }
    return false;
}

}  // namespace klv
