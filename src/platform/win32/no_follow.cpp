#include "platform/win32/no_follow.h"

#include <aclapi.h>

#include "platform/path_text.h"
#include "platform/win32/access_list.h"

namespace klv::platform {
namespace {

bool IsMissingError(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME;
}

// FILE_ATTRIBUTE_TAG_INFO and its class number, spelt out so that the
// Windows NT 4.0 to XP systems, which lack the function, need no newer headers.
struct AttributeTagInfo {
    DWORD attributes;
    DWORD tag;
};
constexpr int kFileAttributeTagInfo = 9;
using ByHandleEx = BOOL(WINAPI*)(HANDLE, int, LPVOID, DWORD);

// The reparse tag on the handle, where the system can tell it (Vista and
// later); nothing otherwise.
bool TagOnHandle(HANDLE handle, DWORD& tag) {
    static const auto query = reinterpret_cast<ByHandleEx>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetFileInformationByHandleEx")));
    if (query == nullptr) return false;
    AttributeTagInfo info{};
    if (!query(handle, kFileAttributeTagInfo, &info, sizeof info)) return false;
    tag = info.tag;
    return true;
}

// The tag as the directory lists the name; false when it cannot be listed.
bool TagByName(const std::string& path, DWORD& tag) {
    WIN32_FIND_DATAA data{};  // Wine leaves the tag (dwReserved0) as it found it
    if (!ScopedFindHandle(FindFirstFileA(path.c_str(), &data))) return false;
    tag = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? data.dwReserved0 : 0;
    return true;
}

}  // namespace

bool IsLinkAttributes(DWORD attributes, DWORD tag) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
           (tag == 0 || IsReparseTagNameSurrogate(tag));
}

bool IsLinkByName(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return false;
    DWORD tag = 0;
    // A reparse point whose tag cannot be read is taken for a link.
    return !TagByName(path, tag) || IsLinkAttributes(attributes, tag);
}

NoFollowHandle::NoFollowHandle(const std::string& rawPath, DWORD access, DWORD share) {
    const std::string path = WithoutTrailingSeparator(rawPath);
    if (path.empty()) {
        kind_ = FolderKind::Other;
        SetLastError(ERROR_INVALID_NAME);
        return;
    }
    const DWORD before = GetFileAttributesA(path.c_str());
    if (before == INVALID_FILE_ATTRIBUTES) {
        kind_ = IsMissingError(GetLastError()) ? FolderKind::Missing : FolderKind::Other;
        return;
    }
    if (IsLinkByName(path)) {
        kind_ = FolderKind::Link;
        return;
    }
    handle_.reset(CreateFileA(path.c_str(), access, share, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!handle_) {
        kind_ = IsMissingError(GetLastError()) ? FolderKind::Missing : FolderKind::Other;
        return;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle_.get(), &info)) {
        const DWORD error = GetLastError();
        handle_.reset();
        kind_ = FolderKind::Other;
        SetLastError(error);
        return;
    }
    bool link = false;
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        DWORD tag = 0;
        link =
            !(TagOnHandle(handle_.get(), tag) || TagByName(path, tag)) || IsLinkAttributes(info.dwFileAttributes, tag);
    }
    // Wine opens a Unix symbolic link as its target and says nothing of it
    // on the handle: the name, asked again now that the handle is open,
    // catches a link put in place while it was being opened.
    if (link || IsLinkByName(path)) {
        handle_.reset();
        kind_ = FolderKind::Link;
        SetLastError(ERROR_CANT_ACCESS_FILE);
        return;
    }
    file_ = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    kind_ = file_ ? FolderKind::Other : FolderKind::Folder;
}

FolderOwner OwnerOfHandle(HANDLE handle) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD status = GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                                         nullptr, &descriptor);
    const LocalMemory<void> release(descriptor);
    if (status != ERROR_SUCCESS || owner == nullptr || !IsValidSid(owner)) return FolderOwner::Unknown;
    const AllocatedSid admins =
        AllocateSid(SECURITY_NT_AUTHORITY, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS);
    const AllocatedSid system = AllocateSid(SECURITY_NT_AUTHORITY, 1, SECURITY_LOCAL_SYSTEM_RID);
    if (!admins.get() || !system.get()) return FolderOwner::Unknown;
    if (EqualSid(owner, admins.get()) || EqualSid(owner, system.get())) return FolderOwner::Trusted;
    // Where the system makes the creating account, not the Administrators
    // group, the owner of what an administrator creates (Windows XP, and
    // Wine, which reports its user as the owner of every file of the Unix
    // user it runs as), a folder the launcher made is owned by the account
    // it runs as. With user account control the elevated launcher's folders
    // belong to the Administrators group, and a folder of its own account
    // may have been made without elevation: not trusted there.
    ScopedHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.out())) return FolderOwner::Unknown;
    union {
        TOKEN_USER user;
        TOKEN_OWNER owner;
        BYTE bytes[256];
    } own{}, byDefault{};
    DWORD size = 0;
    const bool read = GetTokenInformation(token.get(), TokenUser, &own, sizeof own, &size) &&
                      GetTokenInformation(token.get(), TokenOwner, &byDefault, sizeof byDefault, &size);
    if (!read) return FolderOwner::Unknown;
    const bool adminsByDefault = EqualSid(byDefault.owner.Owner, admins.get()) != FALSE;
    return !adminsByDefault && EqualSid(owner, own.user.User.Sid) ? FolderOwner::Trusted : FolderOwner::Foreign;
}

}  // namespace klv::platform
