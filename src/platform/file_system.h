#pragma once
// The file layer, with Windows file semantics. Paths are 8-bit ANSI text with
// backslashes, as on Windows; the POSIX implementation maps them at its
// boundary and emulates the Windows rules that the core is written against:
// a read-only file cannot be deleted or overwritten but can be renamed, and a
// rename never replaces an existing file.
//
// The core takes a FileSystem& so that tests can wrap the real one and inject
// what cannot otherwise be had (a file that the system refuses to delete).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace klv::platform {

// Windows file attribute bits, as listings report them and SetAttributes
// takes them. The POSIX layer knows read-only (the owner write bit), folder
// and archive (every file); hidden and system have no POSIX meaning there.
inline constexpr std::uint32_t kAttributeReadOnly = 0x01;
inline constexpr std::uint32_t kAttributeHidden = 0x02;
inline constexpr std::uint32_t kAttributeSystem = 0x04;
inline constexpr std::uint32_t kAttributeDirectory = 0x10;
inline constexpr std::uint32_t kAttributeArchive = 0x20;

struct DirectoryEntry {
    std::string name;  // the name alone, no folder
    bool isDirectory = false;
    bool isReadOnly = false;
    // Every attribute bit the listing reported (hidden and system included).
    std::uint32_t attributes = 0;
    // A junction or symbolic link. A link to a folder also has isDirectory,
    // as Windows lists it with the directory bit; the walks must not mistake
    // it for a folder of their own tree.
    bool isLink = false;
};

// Which file or folder a path names, whatever name it is reached by (a short
// 8.3 name, another letter case, a link): two paths with equal identities
// name the same thing.
struct FileIdentity {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    bool operator==(const FileIdentity& other) const { return volume == other.volume && index == other.index; }
    bool operator!=(const FileIdentity& other) const { return !(*this == other); }
};

// What a path names, decided on the path itself: a link there (a junction,
// a symbolic link, a mount point) is never followed to what it leads to.
enum class FolderKind {
    Missing,  // nothing there
    Folder,   // a real folder, opened and held
    Link,     // a link, to a folder or to anything else
    Other,    // a file, or a folder that cannot be opened
};

// Who owns a folder, as far as the launcher may trust it: on Windows the
// Administrators group or SYSTEM (what the elevated launcher makes is owned
// so), or the launcher's own account where the system gives what an
// administrator makes to the creating account (Windows XP, Wine); on POSIX
// the superuser or the process's own user.
enum class FolderOwner { Trusted, Foreign, Unknown };

// A folder opened without following a link, kept open while it is worked on.
// On Windows the handle shares no delete access, so that nobody can rename
// or remove the folder, and so put a link in its place, while it is held.
class HeldFolder {
public:
    virtual ~HeldFolder() = default;
    // The owner, read on the open handle.
    virtual FolderOwner Owner() = 0;
};

struct OpenedFolder {
    FolderKind kind = FolderKind::Missing;
    std::unique_ptr<HeldFolder> held;  // set only for a Folder
};

// A file being written piece by piece under the temporary name beside its
// target (TemporaryNameBeside), for content too large to hold in memory.
// The target is touched only by Commit; a writer dropped without a Commit,
// or one whose write failed, removes its temporary file.
class FileWriter {
public:
    virtual ~FileWriter() = default;
    // Appends to the temporary file. Raises EFCreateError "Cannot create
    // file "%s". %s" with the target's path; the temporary file is then gone.
    virtual void Write(const char* bytes, std::size_t count) = 0;
    // Closes the temporary file and moves it into place, replacing the
    // target. Raises EFCreateError as above; the target is then untouched.
    virtual void Commit() = 0;
};

class FileSystem {
public:
    virtual ~FileSystem() = default;

    // True only for a file: false for a folder and for nothing.
    virtual bool FileExists(const std::string& path) = 0;
    // True only for a folder: false for a file and for nothing.
    virtual bool DirectoryExists(const std::string& path) = 0;
    // False when the file cannot be deleted (read-only, in use, missing).
    virtual bool RemoveFile(const std::string& path) = 0;
    // Renames a file within a volume; false when `to` already exists.
    virtual bool RenameFile(const std::string& from, const std::string& to) = 0;
    // Creates the folder and every missing folder above it; true when it exists afterwards.
    virtual bool CreateFolderChain(const std::string& path) = 0;
    // Removes an empty folder.
    virtual bool RemoveEmptyFolder(const std::string& path) = 0;
    // Copies a file with its attributes, replacing the target.
    virtual bool CopyFileOver(const std::string& from, const std::string& to) = 0;
    virtual bool SetReadOnly(const std::string& path, bool readOnly) = 0;
    virtual std::vector<DirectoryEntry> ListFolder(const std::string& folder) = 0;

    // The operations below have defaults built on the ones above, so that a
    // file layer written before them keeps working; both real layers and the
    // test wrappers override them.

    // Every entry of the folder but "." and "..", or nothing when the listing
    // cannot be started (no such folder, a file, no access). An empty folder
    // gives an empty list, which ListFolder cannot tell from a failure.
    virtual std::optional<std::vector<DirectoryEntry>> TryListFolder(const std::string& folder);
    // Sets the attribute bits (the kAttribute* values; 0 means none).
    virtual bool SetAttributes(const std::string& path, std::uint32_t attributes);
    // Registers the file or folder for deletion at the next restart
    // (a folder goes only if it is empty by then). Needs administrator
    // rights on Windows; the POSIX layer has no restart list and refuses.
    virtual bool DeleteAtRestart(const std::string& path);
    // The identity of what the path names, links followed; nothing when it
    // does not exist or cannot be opened.
    virtual std::optional<FileIdentity> IdentityOf(const std::string& path);

    // Opens the folder without following a link: the kind is decided on the
    // handle opened and, where the system does not report a link on the
    // handle (Wine), on the attributes by name as well, just before and
    // after the open. A trailing backslash is allowed. The default, for
    // layers written before it, knows no links and trusts no owner.
    virtual OpenedFolder OpenFolder(const std::string& path);

    // The whole content. Raises EFOpenError "Cannot open file "%s". %s".
    virtual std::string ReadWholeFile(const std::string& path) = 0;
    // Writes the content under a temporary name beside `path` and moves it into
    // place only when complete, so that `path` never holds a partial file.
    // Raises EFCreateError "Cannot create file "%s". %s"; `path` is then untouched.
    virtual void WriteWholeFile(const std::string& path, const std::string& content) = 0;
    // Starts writing `path` the same way, with the content to come in pieces.
    // Raises EFCreateError when the temporary file cannot be created. The
    // default gathers the pieces in memory for WriteWholeFile, for file
    // layers written before it; both real layers write as the pieces come.
    virtual std::unique_ptr<FileWriter> BeginWrite(const std::string& path);
};

// The operating system's file layer.
FileSystem& RealFileSystem();

// Renames the file at `path` to the first name path + ".old" + N (N = 0, 1,
// ...) that is free or whose occupant (an older displaced copy, no longer in
// use) can be deleted. The name it went to; empty when that rename failed.
// No upper bound: every candidate that stays is a file still in use, and
// there are only so many of those.
std::string MoveToFreeOldName(FileSystem& files, const std::string& path);

// The temporary name used beside `path` while it is being written.
std::string TemporaryNameBeside(const std::string& path);

}  // namespace klv::platform
