#pragma once
// The main window's creation step that finds the install folder.

namespace klv {

// Resolves InstallDir (and opens the default folder to every user). May
// raise; the creation then stops before the version line, InstallDir empty.
void ResolveInstallFolder();

}  // namespace klv
