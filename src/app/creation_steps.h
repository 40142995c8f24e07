#pragma once
// Steps of the main window's creation that belong to other parts of the
// launcher. FormCreate calls them at fixed points:
//
//   1. window region, 2. progress-bar placement,
//   3. ResolveInstallFolder(),
//   4. version line,
//   5. StartSelfUpdate(window, version).
//
// Until the install folder and the self-update worker exist, both are empty:
// InstallDir stays empty and no worker runs.
#include <string>

namespace klv {

class TFrm_OxMain;

// Resolves InstallDir (and opens the default folder to every user). May
// raise; the creation then stops before the version line.
void ResolveInstallFolder();

// Starts the self-update worker for the running launcher's version; its
// completion is handled on the GUI thread by window.
void StartSelfUpdate(TFrm_OxMain& window, const std::string& version);

}  // namespace klv
