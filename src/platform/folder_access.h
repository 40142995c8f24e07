#pragma once
// Opening a folder to every user: the well-known group Everyone gets read,
// write, execute and delete access through the folder's access list.
#include <algorithm>
#include <cstdint>
#include <string>

namespace klv::platform {

// GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | DELETE.
inline constexpr std::uint32_t kEveryoneAccessMask = 0xE0010000u;

// Replaces every entry for Everyone in the access list of the file or folder
// `path` (a trailing backslash is allowed) by one access-allowed entry at the
// head (on Windows NT 4.0, two for a folder). True only when the new list has
// been written; on failure the last error says why and nothing has changed.
// A link at the path, and a file or folder whose owner is neither the
// Administrators group nor SYSTEM, are refused (ERROR_CANT_ACCESS_FILE,
// ERROR_INVALID_OWNER): the list is read and written on the handle opened
// without following a link.
// The POSIX side has no access lists: always false.
bool GrantEveryoneAccess(const std::string& path);

// Creates the folder (its parent must exist) in one step with the access list
// that GrantEveryoneAccess gives and the Administrators group as its owner,
// so that there is no moment in which another user could change or replace
// it. False when it was not created, an existing folder or link included.
// The POSIX side creates a plain folder.
bool CreateFolderOpenToEveryone(const std::string& path);

// Creates the folder (its parent must exist) in one step with an access list
// of its own that grants access to the Administrators group and SYSTEM only,
// inherited by what is made inside and nothing taken over from the parent,
// and the Administrators group as its owner: what the elevated launcher puts
// there (the checked new launcher, the replacement script) cannot be changed
// by a program that runs without elevation. False when it was not created,
// an existing folder or link included. The POSIX side creates a folder that
// only its owner may use.
bool CreateAdminOnlyFolder(const std::string& path);

// True on Windows NT 4.0, which has no named-object security functions.
bool IsWindowsNT4();

// The size in bytes of the new access list, from the old list's bytes in use
// and free (after its entries for the SID were removed), the size of one new
// entry and how many entries will be added. The larger of the old list's
// whole size and inUse - free + 2 entries, or, when that would not hold every
// added entry (two entries for a folder on NT 4.0 with some bytes free but
// fewer than two entries' worth), exactly enough for them.
inline std::int64_t NewAccessListSize(std::int64_t inUse, std::int64_t free, std::int64_t entrySize, int entries) {
    const std::int64_t rule = std::max(inUse + free, inUse - free + 2 * entrySize);
    return std::max(rule, inUse + entries * entrySize);
}

}  // namespace klv::platform
