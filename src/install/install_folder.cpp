#include "install/install_folder.h"

#include "install/run_value.h"
#include "install/special_folders.h"
#include "platform/registry.h"

namespace klv {

std::string InstallDir;

std::string FindInstalledDir() {
    const std::optional<std::string> value = platform::ReadMachineString(kRunKeyPath, kRunValueName);
    return value ? RunValueFolder(*value) : std::string();
}

const std::string& RequireInstallDir() {
    if (InstallDir.empty()) throw platform::InvalidDataType(kRunValueName);
    return InstallDir;
}

std::string DefaultInstallDir() {
    return SpecialFolderPath(kCommonAppDataIndex) + kDefaultInstallFolderName;
}

}  // namespace klv
