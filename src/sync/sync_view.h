#pragma once
// What the package synchronisation needs of the main window, and nothing
// more: one of its two progress bars, the buttons and links that must not be
// clicked while a synchronisation runs, a turn of the message loop, and the
// warning box. The main window implements it; tests implement it with a
// recorder; the command-line client with a console line.
//
// Every text passed through this interface is UTF-8, whatever the system's
// ANSI code page is (file names from the manifest are converted before they
// get here); the window converts it for the wide-character API.
#include <string>

namespace klv {

// The bar that shows a synchronisation: PBDL (the download for the local
// install folder) or PBBak (the download onto the stick).
enum class SyncProgressBar { Download, Backup };

class SyncView {
public:
    virtual ~SyncView() = default;

    virtual void SetProgressVisible(SyncProgressBar bar, bool visible) = 0;
    // 0..100: how many of the manifest's files have been passed.
    virtual void SetProgressPosition(SyncProgressBar bar, int position) = 0;
    // The text drawn on the bar: which file of how many, and how far it has come.
    virtual void SetProgressText(SyncProgressBar bar, const std::string& text) = 0;
    virtual void SetProgressTooltip(SyncProgressBar bar, const std::string& text) = 0;

    // Disables (false) or enables (true) BtUser, BtAuth, BtExit, LbBak and
    // LbUninst together, so that no second action starts meanwhile.
    virtual void SetActionsEnabled(bool enabled) = 0;

    // Handles every pending window message once, so that the window repaints
    // and can be dragged while files download.
    virtual void ProcessMessages() = 0;

    // A modal box owned by the main window with the warning icon and one OK
    // button; returns when it has been closed.
    virtual void ShowWarningBox(const std::string& text, const std::string& caption) = 0;
};

}  // namespace klv
