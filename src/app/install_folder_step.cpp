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
    // changing nothing; the environment set-up makes it later with this list
    // from the start. A link there, or a folder of another owner, is granted
    // nothing (and refused by every action).
    platform::GrantEveryoneAccess(InstallDir);
}

}  // namespace klv
