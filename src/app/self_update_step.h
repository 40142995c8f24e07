#pragma once
// The self-update's glue to the window: the main window's creation starts the
// worker, and its completion runs on the GUI thread.
#include <string>

namespace klv {

class TFrm_OxMain;

// Starts the self-update worker for the running launcher's version; its
// completion is handled on the GUI thread by window. Until then no worker
// runs.
void StartSelfUpdate(TFrm_OxMain& window, const std::string& version);

// When the worker found a newer launcher: tells the user in a box owned by
// the main window, starts the self-replacement script and closes the main
// window, which ends the launcher. When the script cannot be written the
// failure is raised and the window stays open.
void SelfUpdateDone(TFrm_OxMain& window);

}  // namespace klv
