#pragma once
// Start-up of the launcher: one instance per logon session.
#include <windows.h>

#include <functional>

namespace klv {

class TFrm_OxMain;

inline constexpr char kSingleInstanceMutex[] = "KLV_Start";

// Runs the launcher to its end and returns the process exit code (0).
// afterCreate, when given, runs once the main window exists and before the
// message loop: programs that embed the launcher (the GUI tests) attach to it
// there; the launcher itself passes nothing.
int RunLauncher(HINSTANCE instance, const std::function<void(TFrm_OxMain&)>& afterCreate = {});

// The second-instance path: brings the running launcher's window, or the box
// it shows, to the front.
void ActivateRunningInstance();

}  // namespace klv
