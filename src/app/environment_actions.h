#pragma once
// The actions behind the main window's buttons and links, and the handler of
// the notification by which the companion programs report back: setting up
// the usage environment, authorizing files, backing the installer up onto
// the stick, uninstalling and exiting.
//
// They work on InstallDir and the stick's package folder, start the
// companion programs from InstallDir, and talk to the window only through
// what it offers: its handle, controls, progress bars, downloads and boxes.
#include <windows.h>

#include <optional>
#include <string>

#include "install/install_folder_check.h"
#include "platform/file_system.h"
#include "platform/publisher_trust.h"

namespace klv {

class TFrm_OxMain;

// Posted to the main window by the installer and the cleaner; wParam carries
// the value, lParam is not used.
inline constexpr UINT WM_ENV_NOTIFY = WM_USER + 0x44;
enum EnvNotifyValue : WPARAM {
    ENV_NOTIFY_RUN_PROGRAMS = 1,  // start the control and information programs
    ENV_NOTIFY_STARTED = 2,       // the installation has started
    ENV_NOTIFY_UNINSTALLED = 3,   // the cleaner has removed the installation
};

// The companion programs, all in InstallDir.
inline constexpr char kInstallerProgram[] = "KLVInst.exe";
inline constexpr char kControlProgram[] = "KLVCtrl.exe";
inline constexpr char kInformationProgram[] = "KLVInfo.exe";
inline constexpr char kManagerProgram[] = "KLVMan.exe";
inline constexpr char kCleanerProgram[] = "KLVClr.exe";
// The class of the control program's main window.
inline constexpr char kControlWindowClass[] = "TFrm_CtrlMain";

// The package copy kept on the stick: the running executable's folder + "uInst\".
std::string StickPackageDir();

// Whether a process whose executable is named "KLVCtrl.exe" is running.
bool IsControlProgramRunning();

class EnvironmentActions {
public:
    explicit EnvironmentActions(TFrm_OxMain& window);

    void BtUserClick();
    void BtAuthClick();
    void LbBakClick();
    void LbUninstClick();
    void BtExitClick();
    // The handler of WM_ENV_NOTIFY; values other than 1, 2 and 3 do nothing.
    void EnvNotify(WPARAM value);

private:
    // Its window, and then its process: a window of that class from another
    // program, or a process of that name without its window, is not it.
    bool ControlProgramRuns() const;
    // Makes InstallDir hold a complete package, from the stick or the
    // server; false (after its box) when neither worked.
    bool BringInstallFolderUp();
    // Starts InstallDir + name through the shell with the main window's
    // handle as the only parameter; false when the folder is refused.
    bool StartWithHandle(const char* name);
    // Starts InstallDir + name with no arguments.
    void StartPlain(const char* name);
    // InstallDir + name checked against the launcher's publisher and held
    // until the caller has started it; nothing (after one box saying which
    // program was not started and why) when it may not be started.
    std::optional<platform::CheckedFile> CheckedProgram(const char* name);
    // InstallDir checked (and the default one made when missing, if asked)
    // before anything is copied into, started from or deleted in it; when
    // it is not usable the user has been told in one box.
    InstallFolderCheck CheckedInstallFolder(bool makeDefault = false);
    // A box captioned "提示" owned by the main window.
    void Notice(const wchar_t* text, UINT icon);

    TFrm_OxMain& window_;
    platform::FileSystem& files_;
};

}  // namespace klv
