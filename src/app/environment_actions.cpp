#include "app/environment_actions.h"

#include <cstdint>

#include "app/app_window.h"
#include "app/main_window.h"
#include "app/program_trust.h"
#include "platform/win32/wide_text.h"
#include "install/folder_tree.h"
#include "install/install_folder.h"
#include "install/install_guard.h"
#include "package/completeness.h"
#include "platform/own_process.h"
#include "platform/path_text.h"
#include "platform/process.h"
#include "texts/user_texts.h"

namespace klv {
namespace {

// What is left of the installation is deleted this long after the cleaner's
// report has been acknowledged, so that the cleaner has ended by then.
const DWORD kCleanerGraceMs = 1000;

// Hides the control whose place a progress bar takes while a package
// downloads, and shows it again on every way out, an error that escapes the
// download included: otherwise the button or link would stay hidden for
// the rest of the run.
class HiddenDuringDownload {
public:
    explicit HiddenDuringDownload(HWND control) : control_(control) { ShowWindow(control_, SW_HIDE); }
    ~HiddenDuringDownload() { Restore(); }
    HiddenDuringDownload(const HiddenDuringDownload&) = delete;
    HiddenDuringDownload& operator=(const HiddenDuringDownload&) = delete;

    void Restore() {
        if (control_ == nullptr) return;
        ShowWindow(control_, SW_SHOW);
        control_ = nullptr;
    }

private:
    HWND control_;
};

}  // namespace

std::string StickPackageDir() {
    return platform::FolderOf(platform::OwnExecutablePath()) + "uInst\\";
}

bool IsControlProgramRunning() {
    return platform::IsProcessRunning(kControlProgram);
}

EnvironmentActions::EnvironmentActions(TFrm_OxMain& window) : window_(window), files_(platform::RealFileSystem()) {}

bool EnvironmentActions::ControlProgramRuns() const {
    return platform::TopLevelWindowExists(kControlWindowClass) && IsControlProgramRunning();
}

void EnvironmentActions::BtUserClick() {
    if (ControlProgramRuns()) {
        Notice(texts::kAlreadyRunning, MB_ICONINFORMATION);
        return;
    }
    if (!BringInstallFolderUp()) return;
    StartWithHandle(kInstallerProgram);
}

bool EnvironmentActions::BringInstallFolderUp() {
    const std::string& installDir = RequireInstallDir();
    const InstallFolderCheck folder = CheckedInstallFolder(true);
    if (!folder.Usable()) return false;
    // A complete installation is started as it is.
    if (IsPackageComplete(files_, installDir)) return true;

    const std::string stick = StickPackageDir();
    if (IsPackageComplete(files_, stick)) {
        if (CopyFolderTree(files_, window_, stick, installDir)) return true;
        Notice(texts::kSetupCopyFailed, MB_ICONWARNING);
        return false;
    }

    // The download bar lies exactly over the button and takes its place.
    HiddenDuringDownload hidden(window_.BtUser());
    if (window_.Downloads().SyncPackage(installDir, SyncProgressBar::Download)) return true;
    window_.PBDL().SetVisible(true);
    Notice(texts::kPackageDownloadFailed, MB_ICONWARNING);
    window_.PBDL().SetVisible(false);
    return false;
}

void EnvironmentActions::BtAuthClick() {
    if (ControlProgramRuns()) {
        StartPlain(kManagerProgram);
        return;
    }
    // The manager follows once the installer reports that it has started.
    window_.AuthorizePending = true;
    BtUserClick();
}

void EnvironmentActions::LbBakClick() {
    const std::string stick = StickPackageDir();
    // Without a known install folder the back-up comes from the network.
    if (!InstallDir.empty() && !CheckedInstallFolder().Usable()) return;
    if (!InstallDir.empty() && IsPackageComplete(files_, InstallDir)) {
        if (CopyFolderTree(files_, window_, InstallDir, stick))
            Notice(texts::kBackupDone, MB_ICONINFORMATION);
        else
            Notice(texts::kBackupFailed, MB_ICONWARNING);
        return;
    }
    HiddenDuringDownload hidden(window_.LbBak());
    const bool downloaded = window_.Downloads().SyncPackage(stick, SyncProgressBar::Backup);
    hidden.Restore();
    // The warning icon on success too: the backup came from the network, not
    // from a tested installation.
    Notice(downloaded ? texts::kNetworkBackupDone : texts::kPackageDownloadFailed, MB_ICONWARNING);
}

void EnvironmentActions::LbUninstClick() {
    const std::string& installDir = RequireInstallDir();
    if (!CheckedInstallFolder().Usable()) return;
    if (files_.FileExists(installDir + kCleanerProgram)) {
        // The cleaner reports back with ENV_NOTIFY_UNINSTALLED.
        StartWithHandle(kCleanerProgram);
        return;
    }
    DeleteInstallFolder(files_, installDir);
    ShowApplicationBox(texts::kNotInstalled, platform::WidenUtf8(texts::kCaption), MB_ICONINFORMATION);
}

void EnvironmentActions::BtExitClick() {
    // Programs started from here keep running.
    PostMessageW(window_.Handle(), WM_CLOSE, 0, 0);
}

void EnvironmentActions::EnvNotify(WPARAM value) {
    switch (value) {
        case ENV_NOTIFY_RUN_PROGRAMS:
            if (StartWithHandle(kControlProgram)) StartPlain(kInformationProgram);
            break;
        case ENV_NOTIFY_STARTED:
            if (window_.AuthorizePending) {
                StartPlain(kManagerProgram);
                window_.AuthorizePending = false;
            } else {
                Notice(texts::kInstallStarted, MB_ICONINFORMATION);
            }
            break;
        case ENV_NOTIFY_UNINSTALLED:
            Notice(texts::kUninstalled, MB_ICONINFORMATION);
            Sleep(kCleanerGraceMs);
            // Not held while it is deleted: the hold would keep it from going.
            if (CheckedInstallFolder().Usable()) DeleteInstallFolder(files_, InstallDir);
            break;
        default:
            break;
    }
}

// The folder and the program file stay held while the program is started,
// so that neither can be replaced between the check and the start.
bool EnvironmentActions::StartWithHandle(const char* name) {
    const InstallFolderCheck folder = CheckedInstallFolder();
    if (!folder.Usable()) return false;
    const std::optional<platform::CheckedFile> program = CheckedProgram(name);
    if (!program) return false;
    const auto handle = reinterpret_cast<std::uintptr_t>(window_.Handle());
    platform::ShellOpen(handle, RequireInstallDir() + name, std::to_string(handle));
    return true;
}

void EnvironmentActions::StartPlain(const char* name) {
    const InstallFolderCheck folder = CheckedInstallFolder();
    if (!folder.Usable()) return;
    const std::optional<platform::CheckedFile> program = CheckedProgram(name);
    if (program) platform::RunProgram(RequireInstallDir() + name);
}

std::optional<platform::CheckedFile> EnvironmentActions::CheckedProgram(const char* name) {
    const platform::Publisher& pin = LauncherPublisher();
    platform::CheckedFile program = platform::CheckPublisher(RequireInstallDir() + name, pin);
    // Without a pin, a program that is not there is started as before: the
    // start fails unseen, as the system's own start would.
    const bool unpinnedAndMissing =
        pin.kind == platform::Publisher::Kind::Unsigned && program.Verdict() == platform::Trust::CannotOpen;
    if (program.Trusted() || unpinnedAndMissing) return program;
    window_.ShowMessageBox(NotStartedText(name, program.Verdict()).c_str(), platform::WidenUtf8(texts::kCaption),
                           MB_ICONWARNING);
    return std::nullopt;
}

InstallFolderCheck EnvironmentActions::CheckedInstallFolder(bool makeDefault) {
    const std::string& installDir = RequireInstallDir();
    InstallFolderCheck folder = makeDefault && installDir == DefaultInstallDir()
                                    ? PrepareDefaultInstallFolder(files_, installDir)
                                    : CheckInstallFolder(files_, installDir);
    if (!folder.Usable()) Notice(texts::kUnsafeInstallFolder, MB_ICONWARNING);
    return folder;
}

void EnvironmentActions::Notice(const wchar_t* text, UINT icon) {
    window_.ShowMessageBox(text, platform::WidenUtf8(texts::kCaption), icon);
}

}  // namespace klv
