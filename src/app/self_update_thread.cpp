#include "app/self_update_thread.h"

#include "platform/file_system.h"
#include "selfupdate/self_update.h"

namespace klv {

TThrdUpSelf::TThrdUpSelf(std::string version) : TThread(true), version_(std::move(version)) {}

void TThrdUpSelf::Execute() {
    SelfUpdateBody(version_, TempFolderPath(), platform::RealFileSystem());
}

}  // namespace klv
