#pragma once
// Where the local installation lives: InstallDir, resolved once while the main
// window is created and only read afterwards.
#include <string>

#include "platform/file_system.h"

namespace klv {

// The local install folder, 8-bit ANSI text ending in a backslash (the one
// exception: a Run value whose last separator is a drive colon). Empty until
// the main window's creation resolves it, and for the whole run when the
// resolution raised.
extern std::string InstallDir;

// Deletes InstallDir as the uninstall paths do, unless it names what is not
// ours to delete (a drive root, a path without a folder component, a shell
// special folder or a folder above one): then nothing is deleted or deferred.
// True when the delete ran.
bool DeleteInstallFolder(platform::FileSystem& fs, const std::string& installDir);

}  // namespace klv
