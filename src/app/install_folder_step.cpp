#include "app/install_folder_step.h"

#include "install/install_folder.h"
#include "platform/folder_access.h"

namespace klv {

void ResolveInstallFolder() {
    // A Run value of the wrong type raises out of here, leaving InstallDir
    // empty, and ends the creation before the version line.
    InstallDir = FindInstalledDir();
    if (!InstallDir.empty()) return;
    InstallDir = DefaultInstallDir();
    // On the first start the folder does not exist yet and the grant fails,
    // changing nothing; the folder created later inherits its parent's access.
    platform::GrantEveryoneAccess(InstallDir);
}

}  // namespace klv
