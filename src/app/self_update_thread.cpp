#include "app/self_update_thread.h"

#include "app/program_trust.h"

#include "platform/file_system.h"
#include "platform/own_process.h"
#include "selfupdate/self_update.h"

namespace klv {

TThrdUpSelf::TThrdUpSelf(std::string version) : TThread(true), version_(std::move(version)) {}

void TThrdUpSelf::Execute() {
    SelfUpdatePlace place{TempFolderPath(), platform::OwnExecutablePath(), IsTrustedProgram};
    SelfUpdateBody(version_, place, platform::RealFileSystem());
}

}  // namespace klv
