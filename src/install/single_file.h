#pragma once
// The single-file steps under the folder-tree walks: moving a file out of
// the way of its replacement, copying one file with its one failure box, and
// deleting a file now or at the next restart.
#include <string>

#include "install/folder_tree.h"
#include "platform/file_system.h"

namespace klv {

// The box text for a file that could not be copied, UTF-8 (name is 8-bit ANSI).
std::string CopyFailureText(const std::string& name);

// Makes `path` free for a new file. Nothing there, or a file that can be
// deleted: true. Otherwise the file is renamed to the first name
// path + ".old" + N (N = 0, 1, ...) that is free or whose occupant can be
// deleted; the result is that rename's. False only when that rename fails.
bool DisplaceExisting(platform::FileSystem& fs, const std::string& path);

// Copies src + name over dst + name (folders ending with a backslash),
// displacing what is at the target first. On failure shows the one box
// naming the file and returns false.
bool CopyOneFile(platform::FileSystem& fs, FolderCopyView& view, const std::string& src, const std::string& dst,
                 const std::string& name);

// Deletes a file, or registers it for deletion at the next restart when it
// cannot be deleted now. Nothing happens when `path` is not a file.
void DeleteFileOrDefer(platform::FileSystem& fs, const std::string& path);

}  // namespace klv
