#pragma once
// The file layer, with Windows file semantics. Paths are 8-bit ANSI text with
// backslashes, as on Windows; the POSIX implementation maps them at its
// boundary and emulates the Windows rules that the core is written against:
// a read-only file cannot be deleted or overwritten but can be renamed, and a
// rename never replaces an existing file.
//
// The core takes a FileSystem& so that tests can wrap the real one and inject
// what cannot otherwise be had (a file that the system refuses to delete).
#include <cstdint>
#include <string>
#include <vector>

namespace klv::platform {

struct DirectoryEntry {
    std::string name;  // the name alone, no folder
    bool isDirectory = false;
    bool isReadOnly = false;
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

    // The whole content. Raises EFOpenError "Cannot open file "%s". %s".
    virtual std::string ReadWholeFile(const std::string& path) = 0;
    // Writes the content under a temporary name beside `path` and moves it into
    // place only when complete, so that `path` never holds a partial file.
    // Raises EFCreateError "Cannot create file "%s". %s"; `path` is then untouched.
    virtual void WriteWholeFile(const std::string& path, const std::string& content) = 0;
};

// The operating system's file layer.
FileSystem& RealFileSystem();

// The folder part of a path: everything up to and including its last
// backslash (double-byte aware); empty when there is none.
std::string FolderOf(const std::string& path);

// The temporary name used beside `path` while it is being written.
std::string TemporaryNameBeside(const std::string& path);

}  // namespace klv::platform
