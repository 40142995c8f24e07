#pragma once
// Where the local installation lives: InstallDir, resolved once while the main
// window is created and only read afterwards.
#include <string>

namespace klv {

// The local install folder, 8-bit ANSI text ending in a backslash (the one
// exception: a Run value whose last separator is a drive colon). Empty until
// the main window's creation resolves it, and for the whole run when the
// resolution raised.
extern std::string InstallDir;

// InstallDir for an action that works in the install folder. Only the Run
// value's registry error leaves it empty, and then the launcher knows no
// install folder for the rest of the run: this raises that error again, so
// that the action is reported and stops instead of working on names relative
// to the current folder (as a rule the stick's).
const std::string& RequireInstallDir();

// The name of the default install folder, put after the common
// application-data folder (which the shell gives without a trailing backslash).
inline constexpr char kDefaultInstallFolderName[] = "\\QNKLV\\";

// The folder part of the Run value "KLV_U" (see run_value.h), or empty text
// when the key cannot be opened, the value is missing, empty or has no
// separator. Raises platform::ERegistryException "Invalid data type for
// 'KLV_U'" for a value that is not a string.
std::string FindInstalledDir();

// The common application-data folder + "\QNKLV\", whether or not it exists.
std::string DefaultInstallDir();

}  // namespace klv
