#include "app/self_update_step.h"

#include "app/main_window.h"
#include "app/self_update_thread.h"
#include "platform/win32/wide_text.h"
#include "selfupdate/self_replacement.h"
#include "selfupdate/self_update.h"
#include "texts/user_texts.h"

namespace klv {

void StartSelfUpdate(TFrm_OxMain& window, const std::string& version) {
    // Never freed and never waited for: it ends with the process.
    auto* worker = new TThrdUpSelf(version);
    const HWND main = window.Handle();
    worker->OnTerminate = [&window, main] {
        // A main window already closed means the launcher is ending; the
        // window object itself may be gone, so only its handle is asked.
        if (!IsWindow(main)) return;
        SelfUpdateDone(window);
    };
    worker->Start();
}

void SelfUpdateDone(TFrm_OxMain& window) {
    if (!UpdateAvailable) return;
    // The answer does not matter: the box only tells.
    window.ShowMessageBox(texts::kSelfUpdateReady, platform::WidenUtf8(texts::kCaption), MB_ICONINFORMATION);
    RunSelfReplacement(FetchedLauncherPath, FetchedLauncherVersion);
    // As the exit button does: the launcher ends once its main loop gets
    // control back. The window holds the close until any action running
    // (a download that let this completion in) has returned.
    PostMessageW(window.Handle(), WM_CLOSE, 0, 0);
}

}  // namespace klv
