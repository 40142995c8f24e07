#pragma once
// Whether the install folder may be used by a launcher running with
// administrator rights. Standard users may create folders where the default
// one lives, and once the grant has run every user may change what is inside
// it: a link at the install folder (to C:\Windows\System32, say) or a folder
// someone else made there would have the launcher grant, copy into, start
// programs from and delete what is not ours.
#include <memory>
#include <string>

#include "platform/file_system.h"

namespace klv {

enum class InstallFolderState {
    Missing,       // not there (yet): nothing to refuse
    Safe,          // a real folder owned by the Administrators group or SYSTEM
    Link,          // a junction, symbolic link or mount point
    ForeignOwner,  // a folder owned by another account, or whose owner cannot be read
    NotAFolder,    // a file, or a folder that cannot be opened
};

struct InstallFolderCheck {
    InstallFolderState state = InstallFolderState::Missing;
    // The folder, held open while the caller works in it (only when Safe).
    std::unique_ptr<platform::HeldFolder> held;

    // Missing or Safe: the launcher may go on there.
    bool Usable() const { return state == InstallFolderState::Missing || state == InstallFolderState::Safe; }
};

// Opens the folder without following a link and judges it by the handle:
// its kind, then its owner.
InstallFolderCheck CheckInstallFolder(platform::FileSystem& fs, const std::string& folder);

// The check of the default install folder, which the launcher makes itself
// when it is missing: in one step with its access list and owner, so that
// there is no moment in which another user could replace it. A default
// folder that fails the check is refused as it is: it is never deleted or
// replaced, as it may be someone else's.
InstallFolderCheck PrepareDefaultInstallFolder(platform::FileSystem& fs, const std::string& folder);

}  // namespace klv
