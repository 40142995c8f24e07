#pragma once
// Opening files and folders without following links, for every operation
// that changes the install folder with administrator rights. A link is
// recognised on the handle opened (its attributes and reparse tag) and, as
// Wine reports neither on a handle opened on a Unix symbolic link, on the
// attributes by name as well, right before and right after the open.
#include <windows.h>

#include <string>

#include "platform/file_system.h"
#include "platform/win32/scoped_win.h"

namespace klv::platform {

// True when the attributes (by name or on a handle) and the reparse tag
// mark a junction, a symbolic link or a mount point. Other reparse points
// (cloud placeholders, deduplicated files) are what they look like. A tag of
// 0 with the reparse bit, which no real link has, is how Wine shows a Unix
// symbolic link.
bool IsLinkAttributes(DWORD attributes, DWORD tag);

// Whether the name is a link, by its own attributes (GetFileAttributesA does
// not follow the last component) and, for a reparse point, its tag as the
// directory lists it.
bool IsLinkByName(const std::string& path);

// A handle opened with FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
// so that a link is opened as itself, never as what it leads to.
class NoFollowHandle {
public:
    NoFollowHandle(const std::string& path, DWORD access, DWORD share);

    // What was opened: Missing when nothing is there, Link when the name or
    // the handle shows a link (the handle is then closed), Other for a file
    // or a failed open (GetLastError tells why), Folder for a real folder.
    FolderKind Kind() const { return kind_; }
    HANDLE get() const { return handle_.get(); }
    // Nonzero when the open found a real file rather than a folder.
    bool IsFile() const { return file_; }

private:
    ScopedHandle handle_;
    FolderKind kind_ = FolderKind::Missing;
    bool file_ = false;
};

// The owner of the open handle: trusted when it is the Administrators group
// or SYSTEM, or the launcher's own account where the system makes the
// creating account the owner of what an administrator creates.
FolderOwner OwnerOfHandle(HANDLE handle);

}  // namespace klv::platform
