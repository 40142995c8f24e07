#pragma once
// The launcher's main window: frameless, rounded, dragged by its background.
//
// Every control is a child window with a fixed control ID (ControlId), so
// that companion programs and the test driver can find it with GetDlgItem.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "install/folder_tree.h"
#include "platform/win32/scoped_win.h"
#include "http/http_client.h"
#include "sync/package_sync.h"
#include "sync/sync_view.h"
#include "ui/controls.h"

namespace klv {

inline constexpr wchar_t kMainWindowClass[] = L"TFrm_OxMain";
inline constexpr wchar_t kMainWindowCaption[] = L"Frm_0xMain";
inline constexpr int kMainClientWidth = 550;
inline constexpr int kMainClientHeight = 360;

// Control IDs, in stacking order from back to front.
enum ControlId : int {
    kIdPanel1 = 1001,
    kIdBackG = 1002,
    kIdLabel4 = 1003,
    kIdLbAuth = 1004,
    kIdLbUser = 1005,
    kIdImgNo1 = 1006,
    kIdImgLogo1 = 1007,
    kIdImgCap1 = 1008,
    kIdImage2 = 1009,
    kIdLbBak = 1010,
    kIdLbUninst = 1011,
    kIdLbVer = 1012,
    kIdBtUser = 1013,
    kIdBtExit = 1014,
    kIdBtAuth = 1015,
    kIdPBDL = 1016,
    kIdPBBak = 1017,
};

// The window is also the synchronisation's view: its real bars, buttons and
// links show the progress of the package downloads that run through IdHTTP;
// and the folder copy's, for the one box naming a file it cannot copy.
class TFrm_OxMain final : public SyncView, public FolderCopyView {
public:
    // Creates the window (hidden), runs FormCreate inside the creation and
    // returns; Show() then shows it. owner is the application window.
    TFrm_OxMain(HINSTANCE instance, HWND owner);
    ~TFrm_OxMain() override;
    TFrm_OxMain(const TFrm_OxMain&) = delete;
    TFrm_OxMain& operator=(const TFrm_OxMain&) = delete;

    HWND Handle() const { return hwnd_; }
    void Show();
    // Keyboard handling of the message loop (focus order, accelerators);
    // true when msg has been handled.
    bool PreTranslate(const MSG& msg);

    // What the actions and the package synchronisation use of the window.
    HWND BtUser() const { return btUser_; }
    HWND BtAuth() const { return btAuth_; }
    HWND BtExit() const { return btExit_; }
    HWND LbBak() const { return lbBak_->Handle(); }
    HWND LbUninst() const { return lbUninst_->Handle(); }
    ui::TextProgressBar& PBDL() { return *pbdl_; }
    ui::TextProgressBar& PBBak() { return *pbBak_; }
    // Enables or disables the three buttons and both links together.
    void EnableActions(bool enabled);
    // Lets the message queue run (repaint, drag, notifications) during a
    // long operation on the GUI thread.
    void PumpMessages();
    // Runs a user action (a click, a companion's notification) inside
    // RunGuarded. A close asked for meanwhile (the self-update's completion,
    // which a download's message pump can let in) waits until the outermost
    // action has returned: the action ends with its window, and the installer
    // it starts gets a handle that still exists.
    void RunAction(const std::function<void()>& action);
    // A modal box owned by the main window.
    int ShowMessageBox(const std::wstring& text, const std::wstring& caption, UINT icon);

    // The package downloads (FetchPackageFile, SyncPackage) through IdHTTP;
    // it also holds the transfer size, progress prefix and active bar.
    PackageSynchroniser& Downloads() { return *downloads_; }

    // SyncView: what the synchronisation does to the window.
    void SetProgressVisible(SyncProgressBar bar, bool visible) override;
    void SetProgressPosition(SyncProgressBar bar, int position) override;
    void SetProgressText(SyncProgressBar bar, const std::string& text) override;
    void SetProgressTooltip(SyncProgressBar bar, const std::string& text) override;
    void SetActionsEnabled(bool enabled) override { EnableActions(enabled); }
    void ProcessMessages() override { PumpMessages(); }
    void ShowWarningBox(const std::string& text, const std::string& caption) override;

    // FolderCopyView: the box is owned by the application window.
    void ShowCopyFailure(const std::string& text) override;

    // Set by the authorize button when the environment must be set up first.
    bool AuthorizePending = false;

    // The client object of the package downloads; lives as long as the window.
    HttpClient IdHTTP;

private:
    ui::TextProgressBar& Bar(SyncProgressBar bar) { return bar == SyncProgressBar::Download ? *pbdl_ : *pbBak_; }
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp);
    void CreateControls();
    // Work that can wait until the window is on screen.
    void FinishAfterShow();
    void FormCreate();
    void FormPaint(HDC dc, POINT origin);
    void OnCommand(int id);
    void MoveFocus(bool backwards);

    void BackGMouseDown(int button, int x, int y);
    void BackGMouseMove(int x, int y);
    void BackGMouseUp(int button, int x, int y);

    // Click handlers; the actions themselves live in EnvironmentActions.
    void BtUserClick();
    void BtAuthClick();
    void BtExitClick();
    void LbBakClick();
    void LbUninstClick();

    HWND hwnd_ = nullptr;
    // Declared before the controls, so that they go after the controls that
    // draw with them.
    platform::ScopedGdiObject<HFONT> fontDefault_, fontTitle_, fontText_, fontLink_;
    std::unique_ptr<ui::BevelPanel> panel1_;
    std::unique_ptr<ui::GradientPanel> backG_;
    std::unique_ptr<ui::TextLabel> label4_, lbAuth_, lbUser_, lbBak_, lbUninst_, lbVer_;
    std::unique_ptr<ui::Picture> imgNo1_, imgLogo1_, imgCap1_, image2_;
    HWND btUser_ = nullptr, btExit_ = nullptr, btAuth_ = nullptr;
    std::unique_ptr<ui::TextProgressBar> pbdl_, pbBak_;
    std::unique_ptr<ui::Tooltips> tooltips_;
    // BackG's tag: x * 10000 + y of the press that started a drag, 0 when idle.
    std::int32_t backGTag_ = 0;
    // The button that had the keyboard focus, given it back on activation.
    HWND focus_ = nullptr;
    // Actions running (nested through message pumps), and whether a close
    // came in the middle of one.
    int actionsRunning_ = 0;
    bool closeDue_ = false;
    // Declared after IdHTTP: it unhooks the client's work events when destroyed.
    std::unique_ptr<PackageSynchroniser> downloads_;
};

}  // namespace klv
