#include "install/install_folder_check.h"

#include "platform/folder_access.h"

namespace klv {

InstallFolderCheck CheckInstallFolder(platform::FileSystem& fs, const std::string& folder) {
    InstallFolderCheck check;
    platform::OpenedFolder opened = fs.OpenFolder(folder);
    switch (opened.kind) {
        case platform::FolderKind::Missing:
            check.state = InstallFolderState::Missing;
            break;
        case platform::FolderKind::Link:
            check.state = InstallFolderState::Link;
            break;
        case platform::FolderKind::Other:
            check.state = InstallFolderState::NotAFolder;
            break;
        case platform::FolderKind::Folder:
            if (opened.held->Owner() == platform::FolderOwner::Trusted) {
                check.state = InstallFolderState::Safe;
                check.held = std::move(opened.held);
            } else {
                check.state = InstallFolderState::ForeignOwner;
            }
            break;
    }
    return check;
}

InstallFolderCheck PrepareDefaultInstallFolder(platform::FileSystem& fs, const std::string& folder) {
    InstallFolderCheck check = CheckInstallFolder(fs, folder);
    if (check.state != InstallFolderState::Missing) return check;
    platform::CreateFolderOpenToEveryone(folder);
    check = CheckInstallFolder(fs, folder);
    // Not made, or gone again: a folder made later without its list and
    // owner is not to be had, so the launcher goes no further.
    if (check.state == InstallFolderState::Missing) check.state = InstallFolderState::NotAFolder;
    return check;
}

}  // namespace klv
