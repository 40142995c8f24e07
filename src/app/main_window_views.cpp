// The main window as the views of the long operations that run on the GUI
// thread: the package synchronisation's bars, buttons, message pump and
// warning box, and the folder copy's one failure box.
#include "app/app_window.h"
#include "app/main_window.h"
#include "platform/win32/wide_text.h"
#include "texts/user_texts.h"

namespace klv {

void TFrm_OxMain::EnableActions(bool enabled) {
    for (HWND control : {btUser_, btExit_, btAuth_, lbBak_->Handle(), lbUninst_->Handle()})
        EnableWindow(control, enabled ? TRUE : FALSE);
}

void TFrm_OxMain::PumpMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // Leave the quit for the main loop, which ends the launcher.
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        if (PreTranslate(msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

void TFrm_OxMain::SetProgressVisible(SyncProgressBar bar, bool visible) {
    Bar(bar).SetVisible(visible);
}

void TFrm_OxMain::SetProgressPosition(SyncProgressBar bar, int position) {
    Bar(bar).SetPosition(position);
}

void TFrm_OxMain::SetProgressText(SyncProgressBar bar, const std::string& text) {
    Bar(bar).SetText(platform::WidenUtf8(text));
}

void TFrm_OxMain::SetProgressTooltip(SyncProgressBar bar, const std::string& text) {
    // The tooltips are created once the window is on screen; a synchronisation
    // cannot start before that, but a missing tooltip must not stop one.
    if (tooltips_) tooltips_->Set(Bar(bar).Handle(), platform::WidenUtf8(text));
}

void TFrm_OxMain::ShowWarningBox(const std::string& text, const std::string& caption) {
    ShowMessageBox(platform::WidenUtf8(text), platform::WidenUtf8(caption), MB_ICONWARNING);
}

void TFrm_OxMain::ShowCopyFailure(const std::string& text) {
    ShowApplicationBox(platform::WidenUtf8(text), platform::WidenUtf8(texts::kCaption), MB_ICONWARNING);
}

int TFrm_OxMain::ShowMessageBox(const std::wstring& text, const std::wstring& caption, UINT icon) {
    return MessageBoxW(hwnd_, text.c_str(), caption.c_str(), MB_OK | icon);
}

}  // namespace klv
