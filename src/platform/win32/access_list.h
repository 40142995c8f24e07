#pragma once
// The access-list edit under GrantEveryoneAccess, open to tests on lists
// built in memory (Wine maps a file's real list onto Unix permissions, which
// cannot hold most lists).
#include <windows.h>

#include <string>

#include "platform/win32/scoped_win.h"

namespace klv::platform {

using LocalAcl = LocalMemory<ACL>;

// Windows NT 4.0 reads and writes the security descriptor itself (the
// kernel-object functions); later systems use the object security functions.
// Both work on the handle opened without following a link.
enum class GrantRoad { LaterSystems, WindowsNT4 };

// The new DACL for `dacl`, the DACL of `descriptor`: every entry for `sid`
// removed from `dacl` in place (whatever its type and flags), the new
// access-allowed entries with `mask` at the head (flags 0x03 for a folder and
// 0 for a file on later systems; 0 then 0x0B for a folder on NT 4.0), the
// other entries behind them in their old order, sized by NewAccessListSize.
// Null when the descriptor has no DACL or a step fails (the last error is the
// failed call's).
LocalAcl NewGrantedDacl(PSECURITY_DESCRIPTOR descriptor, PACL dacl, PSID sid, DWORD mask, GrantRoad road, bool isFile);

// The grant for any SID. isNT4 is asked at each point where the roads part
// (tests force the NT 4.0 road with it).
bool GrantAccess(const std::string& path, PSID sid, DWORD mask);
bool GrantAccessBy(const std::string& path, PSID sid, DWORD mask, bool (*isNT4)());

}  // namespace klv::platform
