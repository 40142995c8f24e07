// The folder access grant: the access-list edit on lists built in memory
// (Wine maps a file's real list onto Unix permissions, which cannot hold most
// lists), real grants on a folder and a file through both roads, and the road
// taken where the system reports NT 4.0.
#include <windows.h>
#include <aclapi.h>
#include <process.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/folder_access.h"
#include "platform/win32/access_list.h"

namespace klv::platform {
namespace {

constexpr DWORD kMask = kEveryoneAccessMask;
constexpr BYTE kInheritBoth = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;

// A SID built from the well-known authorities, freed on the way out.
class Sid {
public:
    Sid(SID_IDENTIFIER_AUTHORITY authority, std::vector<DWORD> rids) {
        rids.resize(8, 0);
        AllocateAndInitializeSid(&authority, static_cast<BYTE>(CountOf(rids)), rids[0], rids[1], rids[2], rids[3],
                                 rids[4], rids[5], rids[6], rids[7], &sid_);
    }
    ~Sid() {
        if (sid_ != nullptr) FreeSid(sid_);
    }
    Sid(const Sid&) = delete;
    Sid& operator=(const Sid&) = delete;
    PSID get() const { return sid_; }

    static Sid Everyone() { return Sid(SECURITY_WORLD_SID_AUTHORITY, {SECURITY_WORLD_RID}); }
    static Sid Users() { return Sid(SECURITY_NT_AUTHORITY, {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_USERS}); }
    static Sid Admins() { return Sid(SECURITY_NT_AUTHORITY, {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS}); }

private:
    static std::size_t CountOf(const std::vector<DWORD>& rids) {
        std::size_t n = rids.size();
        while (n > 1 && rids[n - 1] == 0) --n;
        return n;
    }
    PSID sid_ = nullptr;
};

struct Entry {
    BYTE type;  // ACCESS_ALLOWED_ACE_TYPE or ACCESS_DENIED_ACE_TYPE
    BYTE flags;
    DWORD mask;
    PSID sid;
};

bool operator==(const Entry& a, const Entry& b) {
    return a.type == b.type && a.flags == b.flags && a.mask == b.mask && EqualSid(a.sid, b.sid);
}

std::ostream& operator<<(std::ostream& out, const Entry& e) {
    return out << "{type " << int(e.type) << ", flags 0x" << std::hex << int(e.flags) << ", mask 0x" << e.mask
               << std::dec << ", sid length " << GetLengthSid(e.sid) << "}";
}

// An access list of exactly the entries' size plus `spare` free bytes.
std::vector<DWORD> BuildAcl(const std::vector<Entry>& entries, DWORD spare = 0, DWORD revision = ACL_REVISION) {
    DWORD size = sizeof(ACL) + spare;
    for (const Entry& e : entries) size += DWORD(sizeof(ACE_HEADER) + sizeof(ACCESS_MASK)) + GetLengthSid(e.sid);
    std::vector<DWORD> buffer((size + 3) / 4, 0);
    auto* acl = reinterpret_cast<PACL>(buffer.data());
    EXPECT_TRUE(InitializeAcl(acl, size, revision));
    for (const Entry& e : entries) {
        const BOOL ok = e.type == ACCESS_ALLOWED_ACE_TYPE ? AddAccessAllowedAceEx(acl, revision, e.flags, e.mask, e.sid)
                                                          : AddAccessDeniedAceEx(acl, revision, e.flags, e.mask, e.sid);
        EXPECT_TRUE(ok);
    }
    return buffer;
}

std::vector<Entry> EntriesOf(PACL acl) {
    std::vector<Entry> out;
    ACL_SIZE_INFORMATION size{};
    if (!GetAclInformation(acl, &size, sizeof size, AclSizeInformation)) return out;
    for (DWORD i = 0; i < size.AceCount; ++i) {
        void* raw = nullptr;
        if (!GetAce(acl, i, &raw)) continue;
        auto* ace = static_cast<ACCESS_ALLOWED_ACE*>(raw);
        out.push_back({ace->Header.AceType, ace->Header.AceFlags, ace->Mask, &ace->SidStart});
    }
    return out;
}

// A descriptor in memory that holds `acl` as its DACL.
struct Descriptor {
    explicit Descriptor(PACL acl, BOOL present = TRUE) {
        InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
        SetSecurityDescriptorDacl(&sd, present, acl, FALSE);
    }
    SECURITY_DESCRIPTOR sd;
};

class AccessListEdit : public ::testing::Test {
protected:
    Sid everyone = Sid::Everyone();
    Sid users = Sid::Users();
    Sid admins = Sid::Admins();

    // Entries for Everyone of every type and flags, between entries for
    // other SIDs whose order must survive.
    std::vector<Entry> Mixed() const {
        return {
            {ACCESS_ALLOWED_ACE_TYPE, kInheritBoth, 0x1200A9, users.get()},
            {ACCESS_DENIED_ACE_TYPE, 0, DELETE, everyone.get()},
            {ACCESS_ALLOWED_ACE_TYPE, kInheritBoth | INHERITED_ACE, GENERIC_ALL, admins.get()},
            {ACCESS_ALLOWED_ACE_TYPE, kInheritBoth | INHERITED_ACE, 0x1200A9, everyone.get()},
            {ACCESS_ALLOWED_ACE_TYPE, kInheritBoth | INHERIT_ONLY_ACE, 0x1F01FF, everyone.get()},
            {ACCESS_DENIED_ACE_TYPE, 0, FILE_WRITE_DATA, users.get()},
        };
    }
    std::vector<Entry> Others() const {
        const std::vector<Entry> all = Mixed();
        return {all[0], all[2], all[5]};
    }
};

TEST_F(AccessListEdit, PutsTheNewEntriesAtTheHeadAndRemovesEveryOldOneForTheSid) {
    struct Case {
        GrantRoad road;
        bool isFile;
        std::vector<BYTE> headFlags;
        const char* catches;
    };
    const Case cases[] = {
        {GrantRoad::LaterSystems, false, {kInheritBoth}, "a folder's entry is inherited by files and folders"},
        {GrantRoad::LaterSystems, true, {0}, "a file's entry inherits nothing"},
        {GrantRoad::WindowsNT4, false, {0, kInheritBoth | INHERIT_ONLY_ACE}, "NT 4.0: the plain entry first"},
        {GrantRoad::WindowsNT4, true, {0}, "NT 4.0, a file: one entry"},
    };
    for (const Case& c : cases) {
        std::vector<DWORD> old = BuildAcl(Mixed());
        auto* acl = reinterpret_cast<PACL>(old.data());
        Descriptor descriptor(acl);
        const LocalAcl granted = NewGrantedDacl(&descriptor.sd, acl, everyone.get(), kMask, c.road, c.isFile);
        ASSERT_TRUE(granted) << c.catches << ", error " << GetLastError();
        std::vector<Entry> expected;
        for (BYTE flags : c.headFlags) expected.push_back({ACCESS_ALLOWED_ACE_TYPE, flags, kMask, everyone.get()});
        for (const Entry& e : Others()) expected.push_back(e);
        EXPECT_EQ(EntriesOf(granted.get()), expected) << c.catches;
        EXPECT_EQ(granted->AclRevision, ACL_REVISION) << c.catches;
    }
}

TEST_F(AccessListEdit, OnNT4FitsBothEntriesWhereTheOldListHadOneForEveryone) {
    // The list held exactly its entries, one of them for Everyone: after the
    // removal 20 bytes are free, fewer than the 40 two entries need.
    const std::vector<Entry> old = {{ACCESS_ALLOWED_ACE_TYPE, 0, GENERIC_ALL, admins.get()},
                                    {ACCESS_ALLOWED_ACE_TYPE, 0, GENERIC_READ, everyone.get()}};
    std::vector<DWORD> buffer = BuildAcl(old);
    auto* acl = reinterpret_cast<PACL>(buffer.data());
    Descriptor descriptor(acl);
    const LocalAcl granted = NewGrantedDacl(&descriptor.sd, acl, everyone.get(), kMask, GrantRoad::WindowsNT4, false);
    ASSERT_TRUE(granted) << "error " << GetLastError();
    const std::vector<Entry> expected = {
        {ACCESS_ALLOWED_ACE_TYPE, 0, kMask, everyone.get()},
        {ACCESS_ALLOWED_ACE_TYPE, kInheritBoth | INHERIT_ONLY_ACE, kMask, everyone.get()},
        old[0]};
    EXPECT_EQ(EntriesOf(granted.get()), expected);
}

TEST_F(AccessListEdit, GivesTheSameListWhenAppliedTwice) {
    std::vector<DWORD> old = BuildAcl(Mixed());
    auto* acl = reinterpret_cast<PACL>(old.data());
    Descriptor first(acl);
    const LocalAcl once = NewGrantedDacl(&first.sd, acl, everyone.get(), kMask, GrantRoad::LaterSystems, false);
    ASSERT_TRUE(once);
    std::vector<BYTE> copy(reinterpret_cast<BYTE*>(once.get()), reinterpret_cast<BYTE*>(once.get()) + once->AclSize);
    Descriptor second(once.get());
    const LocalAcl twice =
        NewGrantedDacl(&second.sd, once.get(), everyone.get(), kMask, GrantRoad::LaterSystems, false);
    ASSERT_TRUE(twice);
    ASSERT_EQ(twice->AclSize, copy.size());
    EXPECT_EQ(std::memcmp(twice.get(), copy.data(), copy.size()), 0);
}

TEST_F(AccessListEdit, KeepsTheOldListsRevisionAndFillsAnEmptyList) {
    std::vector<DWORD> old = BuildAcl({}, 0, ACL_REVISION_DS);
    auto* acl = reinterpret_cast<PACL>(old.data());
    Descriptor descriptor(acl);
    const LocalAcl granted = NewGrantedDacl(&descriptor.sd, acl, everyone.get(), kMask, GrantRoad::LaterSystems, true);
    ASSERT_TRUE(granted);
    EXPECT_EQ(granted->AclRevision, ACL_REVISION_DS);
    EXPECT_EQ(EntriesOf(granted.get()), (std::vector<Entry>{{ACCESS_ALLOWED_ACE_TYPE, 0, kMask, everyone.get()}}));
}

TEST_F(AccessListEdit, RefusesADescriptorWithoutAList) {
    // No DACL lets everyone in: there is nothing to edit, and false says so.
    Descriptor absent(nullptr, FALSE);
    EXPECT_FALSE(NewGrantedDacl(&absent.sd, nullptr, everyone.get(), kMask, GrantRoad::LaterSystems, false));
    Descriptor nullList(nullptr, TRUE);
    EXPECT_FALSE(NewGrantedDacl(&nullList.sd, nullptr, everyone.get(), kMask, GrantRoad::WindowsNT4, false));
    // A list that the descriptor does not mark as present.
    std::vector<DWORD> old = BuildAcl(Others());
    auto* acl = reinterpret_cast<PACL>(old.data());
    Descriptor notPresent(acl, FALSE);
    EXPECT_FALSE(NewGrantedDacl(&notPresent.sd, acl, everyone.get(), kMask, GrantRoad::LaterSystems, false));
}

// --- real grants -------------------------------------------------------------------

std::string NewFolder() {
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    static int serial = 0;
    const std::string folder =
        std::string(temp) + "klv-grant-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++serial);
    EXPECT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    return folder;
}

// The DACL of a path as the system now reports it.
std::vector<BYTE> DaclBytes(const std::string& path) {
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    std::vector<BYTE> out;
    if (GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                              &sd) == ERROR_SUCCESS &&
        dacl != nullptr)
        out.assign(reinterpret_cast<BYTE*>(dacl), reinterpret_cast<BYTE*>(dacl) + dacl->AclSize);
    if (sd != nullptr) LocalFree(sd);
    return out;
}

// What the system now grants Everyone on `path`: the masks of its allow
// entries for Everyone together. Wine keeps no list of its own; it answers
// from the Unix permissions the written list was mapped onto, so this is
// the observable effect of a real grant there.
DWORD EveryoneAllowed(const std::string& path, PSID everyone) {
    std::vector<BYTE> dacl = DaclBytes(path);
    if (dacl.empty()) return 0;
    DWORD mask = 0;
    for (const Entry& e : EntriesOf(reinterpret_cast<PACL>(dacl.data())))
        if (e.type == ACCESS_ALLOWED_ACE_TYPE && EqualSid(e.sid, everyone)) mask |= e.mask;
    return mask;
}

bool LaterRoad() {
    return false;
}
bool NT4Road() {
    return true;
}

class RealGrant : public AccessListEdit {};

TEST_F(RealGrant, FailsForAPathThatDoesNotExist) {
    // The first start on a machine: the default folder is not there yet.
    for (bool (*road)() : {LaterRoad, NT4Road}) {
        SetLastError(0);
        EXPECT_FALSE(GrantAccessBy("C:\\no-such-folder\\QNKLV\\", everyone.get(), kMask, road));
        EXPECT_NE(GetLastError(), 0u);
    }
    EXPECT_FALSE(GrantEveryoneAccess("C:\\no-such-folder\\QNKLV\\"));
}

TEST_F(RealGrant, OpensAFolderAndAFileToEveryoneOnBothRoads) {
    // Read, write, execute and delete, as the system grants them on a file.
    GENERIC_MAPPING files = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
    DWORD granted = kMask;
    MapGenericMask(&granted, &files);
    for (bool (*road)() : {LaterRoad, NT4Road}) {
        const bool nt4 = road();
        const std::string folder = NewFolder();
        const std::string file = folder + "\\KLVCtrl.exe";
        RealFileSystem().WriteWholeFile(file, "x");
        ASSERT_EQ(EveryoneAllowed(folder, everyone.get()) & FILE_WRITE_DATA, 0u) << "already open";
        ASSERT_EQ(EveryoneAllowed(file, everyone.get()) & FILE_WRITE_DATA, 0u) << "already open";
        // The trailing backslash names the folder.
        EXPECT_TRUE(GrantAccessBy(folder + "\\", everyone.get(), kMask, road)) << nt4 << " " << GetLastError();
        EXPECT_TRUE(GrantAccessBy(file, everyone.get(), kMask, road)) << nt4 << " " << GetLastError();
        EXPECT_EQ(EveryoneAllowed(folder, everyone.get()) & granted, granted) << "NT 4.0 road: " << nt4;
        EXPECT_EQ(EveryoneAllowed(file, everyone.get()) & granted, granted) << "NT 4.0 road: " << nt4;
        DeleteFileA(file.c_str());
        RemoveDirectoryA(folder.c_str());
    }
}

TEST_F(RealGrant, GrantEveryoneAccessOpensTheDefaultFolderOnceItExists) {
    const std::string folder = NewFolder();
    EXPECT_TRUE(GrantEveryoneAccess(folder + "\\"));
    EXPECT_NE(EveryoneAllowed(folder, everyone.get()) & FILE_WRITE_DATA, 0u);
    RemoveDirectoryA(folder.c_str());
}

// Wine reports the Windows version set for a program's file name: this test
// program, copied under a name set to report NT 4.0, must take that road.
TEST(IsWindowsNT4, FollowsTheVersionTheSystemReports) {
    if (const char* expected = std::getenv("KLV_EXPECT_NT4")) {
        EXPECT_EQ(IsWindowsNT4(), std::string(expected) == "1");
        return;
    }
    EXPECT_FALSE(IsWindowsNT4()) << "Wine reports a later system by default";

    char self[MAX_PATH] = {}, temp[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    GetTempPathA(MAX_PATH, temp);
    const std::string probe = std::string(temp) + "klv-nt4-probe-" + std::to_string(GetCurrentProcessId()) + ".exe";
    const std::string key = "Software\\Wine\\AppDefaults\\" + probe.substr(probe.rfind('\\') + 1);
    ASSERT_TRUE(CopyFileA(self, probe.c_str(), FALSE));
    ASSERT_EQ(RegSetKeyValueA(HKEY_CURRENT_USER, key.c_str(), "Version", REG_SZ, "nt40", 5), ERROR_SUCCESS);
    _putenv("KLV_EXPECT_NT4=1");
    const intptr_t exitCode =
        _spawnl(_P_WAIT, probe.c_str(), probe.c_str(), "--gtest_filter=IsWindowsNT4.*", "--gtest_brief=1", nullptr);
    _putenv("KLV_EXPECT_NT4=");
    RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str());
    DeleteFileA(probe.c_str());
    EXPECT_EQ(exitCode, 0) << "IsWindowsNT4 is false where the system reports NT 4.0";
}

}  // namespace
}  // namespace klv::platform
