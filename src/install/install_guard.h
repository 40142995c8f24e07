#pragma once
// The uninstall's delete policy: whether a folder named as the install folder
// may be deleted. The install folder comes from a registry value the launcher does
// not control, and the launcher runs with administrator rights: a Run value
// "C:\run.exe" would make the uninstall wipe the drive.
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace klv {

enum class InstallFolderVerdict {
    Ours,                // below a root, no special folder at or below it
    NoFolder,            // empty, relative or drive-relative ("", "C:", "C:x\", "x\"): no folder of its own
    DriveRoot,           // "C:\", "\\server\share\", "\"
    UnclearName,         // ".", "..", a trailing dot or space, a colon, a wildcard, "\\?\":
                         // Windows may read it as another folder than it spells
    SpecialFolder,       // one of the shell special folders, by name or by identity
    AboveSpecialFolder,  // a folder that holds a special folder somewhere below it
    InSystemFolder,      // inside the Windows folder or a system folder, which hold nothing of ours
    Link,                // a junction, symbolic link or mount point: what it leads to is not ours
    ForeignOwner,        // owned by neither the Administrators group nor SYSTEM: someone else made it
};

// The folders the uninstall must leave alone, as the shell names them.
struct KnownFolders {
    std::vector<std::string> special;  // every special folder of the table (empty ones are passed over)
    std::vector<std::string> system;   // the Windows and system folders, refused with all they hold
};

// The shell's paths of the table's special folders and of the system ones.
KnownFolders ShellKnownFolders();

// Judges `folder` (8-bit ANSI, with or without a trailing backslash; "/"
// counts as a separator as Windows reads it). Names are compared without
// regard to case; when `folder` exists, what it leads to is also compared
// with each special folder and every folder above one, and its own parents
// with the system folders, so that another name for the same folder (an 8.3
// name, a link) is refused too. An existing folder is last checked itself
// (see install_folder_check.h): a link or a folder of another owner is refused.
InstallFolderVerdict JudgeInstallFolder(platform::FileSystem& fs, const std::string& folder, const KnownFolders& known);

// Deletes the install folder as the uninstall paths do, unless it names what
// is not ours to delete (JudgeInstallFolder against the shell's folders): then
// nothing is deleted or deferred. True when the delete ran.
bool DeleteInstallFolder(platform::FileSystem& fs, const std::string& installDir);

}  // namespace klv
