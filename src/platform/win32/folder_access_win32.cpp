#include "platform/folder_access.h"

#include <windows.h>
#include <aclapi.h>

#include <cstring>

#include "platform/file_system.h"
#include "platform/path_text.h"
#include "platform/win32/access_list.h"
#include "platform/win32/no_follow.h"

namespace klv::platform {
namespace {

// Offset of SidStart in every plain entry: the header and the mask.
constexpr DWORD kEntryHeaderSize = sizeof(ACE_HEADER) + sizeof(ACCESS_MASK);

bool SizeOf(PACL acl, ACL_SIZE_INFORMATION& size) {
    return GetAclInformation(acl, &size, sizeof size, AclSizeInformation) != FALSE;
}

bool RevisionOf(PACL acl, ACL_REVISION_INFORMATION& revision) {
    return GetAclInformation(acl, &revision, sizeof revision, AclRevisionInformation) != FALSE;
}

// Deletes every entry whose SID (where the plain layouts keep it) is `sid`,
// from the last to the first so that the indexes still to visit stay put.
void RemoveEntriesFor(PACL acl, PSID sid, DWORD count) {
    const DWORD sidLength = GetLengthSid(sid);
    for (DWORD i = count; i-- > 0;) {
        void* entry = nullptr;
        if (!GetAce(acl, i, &entry)) continue;
        const auto* plain = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
        // An entry too small to hold the SID cannot name it; reading one
        // would run past the list.
        if (plain->Header.AceSize < kEntryHeaderSize + sidLength) continue;
        if (EqualSid(const_cast<DWORD*>(&plain->SidStart), sid)) DeleteAce(acl, i);
    }
}

bool AddEntry(PACL acl, DWORD revision, PSID sid, DWORD mask, BYTE flags, DWORD entrySize) {
    LocalMemory<ACCESS_ALLOWED_ACE> entry(static_cast<ACCESS_ALLOWED_ACE*>(LocalAlloc(LPTR, entrySize)));
    if (!entry) return false;
    entry->Header.AceType = ACCESS_ALLOWED_ACE_TYPE;
    entry->Header.AceFlags = flags;
    entry->Header.AceSize = static_cast<WORD>(entrySize);
    entry->Mask = mask;
    if (!CopySid(entrySize - kEntryHeaderSize, &entry->SidStart, sid)) return false;
    ACL_SIZE_INFORMATION before{};
    if (!SizeOf(acl, before)) return false;
    // Index 0: each entry goes in at the head of the list.
    if (!AddAce(acl, revision, 0, entry.get(), entrySize)) return false;
    // Wine's AddAce ignores the index and appends; bring the entry to the
    // head then, so that the list is the same on every system.
    void* first = nullptr;
    if (before.AceCount == 0 || (GetAce(acl, 0, &first) && std::memcmp(first, entry.get(), entrySize) == 0))
        return true;
    BYTE* entries = reinterpret_cast<BYTE*>(acl) + sizeof(ACL);
    const DWORD old = before.AclBytesInUse - static_cast<DWORD>(sizeof(ACL));
    std::memmove(entries + entrySize, entries, old);
    std::memcpy(entries, entry.get(), entrySize);
    return true;
}

// The current security descriptor with its DACL, read by either road.
struct DaclRead {
    LocalMemory<void> descriptor;
    PACL dacl = nullptr;
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
};

// Both roads read and write the security of the handle opened without
// following a link, not of a name that could be pointed elsewhere between
// the check and the write. On NT 4.0 the kernel-object functions stand for
// GetFileSecurityA and SetFileSecurityA, which take only a name.
bool ReadDacl(HANDLE handle, bool nt4, DaclRead& read) {
    if (nt4) {
        DWORD needed = 0;
        GetKernelObjectSecurity(handle, DACL_SECURITY_INFORMATION, nullptr, 0, &needed);
        if (needed == 0) return false;  // no right to read it
        read.descriptor.reset(LocalAlloc(LPTR, needed));
        if (!read.descriptor) return false;
        if (!GetKernelObjectSecurity(handle, DACL_SECURITY_INFORMATION, read.descriptor.get(), needed, &needed))
            return false;
        return GetSecurityDescriptorDacl(read.descriptor.get(), &read.present, &read.dacl, &read.defaulted) != FALSE;
    }
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD status = GetSecurityInfo(handle, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                         &read.dacl, nullptr, &descriptor);
    read.descriptor.reset(descriptor);
    if (status != ERROR_SUCCESS) {
        SetLastError(status);
        return false;
    }
    return true;
}

bool WriteDacl(HANDLE handle, bool nt4, PACL dacl, const DaclRead& read) {
    if (!nt4) {
        const DWORD status =
            SetSecurityInfo(handle, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, dacl, nullptr);
        if (status != ERROR_SUCCESS) SetLastError(status);
        return status == ERROR_SUCCESS;
    }
    LocalMemory<void> descriptor(LocalAlloc(LPTR, SECURITY_DESCRIPTOR_MIN_LENGTH));
    if (!descriptor || !InitializeSecurityDescriptor(descriptor.get(), SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(descriptor.get(), read.present, dacl, read.defaulted))
        return false;
    return SetKernelObjectSecurity(handle, DACL_SECURITY_INFORMATION, descriptor.get()) != FALSE;
}

// Everyone's SID; empty when the system cannot make it.
AllocatedSid EveryoneSid() {
    AllocatedSid sid = AllocateSid(SECURITY_WORLD_SID_AUTHORITY, 1, SECURITY_WORLD_RID);
    if (sid && !IsValidSid(sid.get())) sid.reset();
    return sid;
}

}  // namespace

LocalAcl NewGrantedDacl(PSECURITY_DESCRIPTOR descriptor, PACL dacl, PSID sid, DWORD mask, GrantRoad road, bool isFile) {
    // No DACL lets everyone in already; there is no list to edit.
    if (dacl == nullptr) return nullptr;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD descriptorRevision = 0;
    if (!GetSecurityDescriptorControl(descriptor, &control, &descriptorRevision) || (control & SE_DACL_PRESENT) == 0)
        return nullptr;

    ACL_SIZE_INFORMATION size{};
    ACL_REVISION_INFORMATION revision{};
    if (!SizeOf(dacl, size) || !RevisionOf(dacl, revision)) return nullptr;
    RemoveEntriesFor(dacl, sid, size.AceCount);
    if (!SizeOf(dacl, size) || !RevisionOf(dacl, revision)) return nullptr;

    const DWORD entrySize = GetLengthSid(sid) + kEntryHeaderSize;
    const bool twoEntries = road == GrantRoad::WindowsNT4 && !isFile;
    const std::int64_t newSize =
        NewAccessListSize(size.AclBytesInUse, size.AclBytesFree, entrySize, twoEntries ? 2 : 1);
    // The size field of a list is 16 bits wide.
    if (newSize > MAXWORD) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return nullptr;
    }
    LocalAcl granted(static_cast<PACL>(LocalAlloc(LPTR, static_cast<SIZE_T>(newSize))));
    if (!granted) return nullptr;
    std::memcpy(granted.get(), dacl, size.AclBytesInUse + size.AclBytesFree);
    granted->AclSize = static_cast<WORD>(newSize);
    ACL_SIZE_INFORMATION check{};
    if (!SizeOf(granted.get(), check)) return nullptr;

    bool added;
    if (twoEntries) {
        // Added in this order, the plain entry ends up first.
        added = AddEntry(granted.get(), revision.AclRevision, sid, mask,
                         OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE | INHERIT_ONLY_ACE, entrySize) &&
                AddEntry(granted.get(), revision.AclRevision, sid, mask, 0, entrySize);
    } else {
        const BYTE flags = isFile ? 0 : OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
        added = AddEntry(granted.get(), revision.AclRevision, sid, mask, flags, entrySize);
    }
    if (!added || !SizeOf(granted.get(), check)) return nullptr;
    return granted;
}

bool GrantAccessBy(const std::string& path, PSID sid, DWORD mask, bool (*isNT4)()) {
    if (!IsValidSid(sid)) return false;
    // A link at the path is granted nothing: what it leads to is not ours,
    // and the new entry would be inherited by all it holds. Nor is a folder
    // or file that the elevated launcher did not make: its owner could have
    // planted it to have it opened to everyone.
    const NoFollowHandle target(path, READ_CONTROL | WRITE_DAC | FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE);
    switch (target.Kind()) {
        case FolderKind::Missing:
            SetLastError(ERROR_FILE_NOT_FOUND);
            return false;
        case FolderKind::Link:
            SetLastError(ERROR_CANT_ACCESS_FILE);
            return false;
        case FolderKind::Other:
            if (!target.IsFile()) return false;  // the failed open's error
            break;
        case FolderKind::Folder:
            break;
    }
    if (OwnerOfHandle(target.get()) != FolderOwner::Trusted) {
        SetLastError(ERROR_INVALID_OWNER);
        return false;
    }
    const bool isFile = target.IsFile();
    DaclRead read;
    if (!ReadDacl(target.get(), isNT4(), read)) return false;
    const LocalAcl granted = NewGrantedDacl(read.descriptor.get(), read.dacl, sid, mask,
                                            isNT4() ? GrantRoad::WindowsNT4 : GrantRoad::LaterSystems, isFile);
    if (!granted) return false;
    return WriteDacl(target.get(), isNT4(), granted.get(), read);
}

bool GrantAccess(const std::string& path, PSID sid, DWORD mask) {
    return GrantAccessBy(path, sid, mask, IsWindowsNT4);
}

bool GrantEveryoneAccess(const std::string& path) {
    const AllocatedSid everyone = EveryoneSid();
    return everyone && GrantAccess(path, everyone.get(), kEveryoneAccessMask);
}

bool CreateFolderOpenToEveryone(const std::string& path) {
    const AllocatedSid everyone = EveryoneSid();
    const AllocatedSid admins =
        AllocateSid(SECURITY_NT_AUTHORITY, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS);
    if (!everyone || !admins) return false;
    // The grant's edit of an empty list gives its entries; the system adds
    // what the parent passes on behind them, as it would have without a
    // list of our own.
    ACL empty{};
    SECURITY_DESCRIPTOR blank{};
    if (!InitializeAcl(&empty, sizeof empty, ACL_REVISION) ||
        !InitializeSecurityDescriptor(&blank, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&blank, TRUE, &empty, FALSE))
        return false;
    const LocalAcl granted = NewGrantedDacl(&blank, &empty, everyone.get(), kEveryoneAccessMask,
                                            IsWindowsNT4() ? GrantRoad::WindowsNT4 : GrantRoad::LaterSystems, false);
    // Owned by the Administrators group, as the check of the install folder
    // asks, also where the system would make the creating user the owner.
    SECURITY_DESCRIPTOR descriptor{};
    if (!granted || !InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorOwner(&descriptor, admins.get(), FALSE) ||
        !SetSecurityDescriptorDacl(&descriptor, TRUE, granted.get(), FALSE))
        return false;
    SECURITY_ATTRIBUTES attributes{sizeof attributes, &descriptor, FALSE};
    if (!CreateDirectoryA(WithoutTrailingSeparator(path).c_str(), &attributes)) return false;
    // Wine ignores the list given at creation; the grant writes the same
    // list again on the folder just made (on Windows it changes nothing).
    GrantEveryoneAccess(path);
    return true;
}

bool CreateAdminOnlyFolder(const std::string& path) {
    const AllocatedSid admins =
        AllocateSid(SECURITY_NT_AUTHORITY, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS);
    const AllocatedSid system = AllocateSid(SECURITY_NT_AUTHORITY, 1, SECURITY_LOCAL_SYSTEM_RID);
    if (!admins || !system) return false;

    const DWORD adminsEntry = kEntryHeaderSize + GetLengthSid(admins.get());
    const DWORD systemEntry = kEntryHeaderSize + GetLengthSid(system.get());
    const DWORD size = sizeof(ACL) + adminsEntry + systemEntry;
    const LocalAcl dacl(static_cast<PACL>(LocalAlloc(LPTR, size)));
    const BYTE inherit = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
    if (!dacl || !InitializeAcl(dacl.get(), size, ACL_REVISION) ||
        !AddEntry(dacl.get(), ACL_REVISION, admins.get(), FILE_ALL_ACCESS, inherit, adminsEntry) ||
        !AddEntry(dacl.get(), ACL_REVISION, system.get(), FILE_ALL_ACCESS, inherit, systemEntry))
        return false;
    SECURITY_DESCRIPTOR descriptor{};
    if (!InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorOwner(&descriptor, admins.get(), FALSE) ||
        !SetSecurityDescriptorDacl(&descriptor, TRUE, dacl.get(), FALSE))
        return false;
    // Nothing inherited from the temporary folder, which its user may change:
    // the list is protected. Looked up at run time, since systems before
    // Windows 2000 lack the call (and inherit nothing automatically).
    using SetControlFn = BOOL(WINAPI*)(PSECURITY_DESCRIPTOR, SECURITY_DESCRIPTOR_CONTROL, SECURITY_DESCRIPTOR_CONTROL);
    HMODULE advapi = GetModuleHandleA("advapi32.dll");
    const auto setControl = advapi == nullptr ? nullptr
                                              : reinterpret_cast<SetControlFn>(reinterpret_cast<void (*)()>(
                                                    GetProcAddress(advapi, "SetSecurityDescriptorControl")));
    if (setControl != nullptr) setControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, &descriptor, FALSE};
    const std::string folder = WithoutTrailingSeparator(path);
    if (!CreateDirectoryA(folder.c_str(), &attributes)) return false;
    // Wine ignores the list given at creation: it is written again on the
    // folder just made (on Windows this changes nothing).
    SetFileSecurityA(folder.c_str(), DACL_SECURITY_INFORMATION, &descriptor);
    return true;
}

bool IsWindowsNT4() {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;  // 148
    if (!GetVersionExA(&info)) return false;
    return info.dwPlatformId == VER_PLATFORM_WIN32_NT && info.dwMajorVersion == 4;
}

}  // namespace klv::platform
