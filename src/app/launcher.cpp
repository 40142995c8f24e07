#include "app/launcher.h"

#include "app/app_window.h"
#include "app/main_window.h"

namespace klv {

void ActivateRunningInstance() {
    HWND found = FindWindowA("TFrm_OxMain", nullptr);
    // The first launcher may still be creating its window: end silently.
    if (found == nullptr) return;
    HWND popup = GetLastActivePopup(found);
    BringWindowToTop(popup);
    if (IsWindowVisible(popup)) {
        SetForegroundWindow(popup);
    } else {
        HWND owner = GetWindow(popup, GW_OWNER);
        ShowWindow(owner != nullptr ? owner : popup, SW_RESTORE);
    }
}

int RunLauncher(HINSTANCE instance, const std::function<void(TFrm_OxMain&)>& afterCreate) {
    // The handle stays open for the life of the process: the name is the
    // marker a second launcher looks for. A failure to create it is not
    // reported; this process then simply runs as the first.
    HANDLE mutex = CreateMutexA(nullptr, FALSE, kSingleInstanceMutex);
    const DWORD error = GetLastError();
    (void)mutex;
    if (error == ERROR_ALREADY_EXISTS) {
        ActivateRunningInstance();
        return 0;
    }

    // Only a first instance has windows: the application window is shown
    // as soon as it exists (it gives the taskbar entry), so a second start
    // that created it would flash an entry of its own.
    CreateApplicationWindow(instance);
    TFrm_OxMain window(instance, ApplicationWindow());
    if (window.Handle() == nullptr) return 0;
    if (afterCreate) afterCreate(window);
    window.Show();

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (window.PreTranslate(msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}

}  // namespace klv
