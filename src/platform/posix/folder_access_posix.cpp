#include "platform/folder_access.h"

namespace klv::platform {

bool GrantEveryoneAccess(const std::string& /*path*/) { return false; }

bool IsWindowsNT4() { return false; }

}  // namespace klv::platform
