#pragma once
// Whole package folders: the recursive copy that moves files in use aside, and the recursive delete that
// leaves to the next restart what cannot be deleted now. Folder paths end
// with a backslash; names are appended to them directly.
#include <string>

#include "platform/file_system.h"

namespace klv {

// What the copy needs of the window: the one box for a file it cannot copy.
class FolderCopyView {
public:
    virtual ~FolderCopyView() = default;
    // A warning box (text in UTF-8) "拷贝文件" + name + "失败。" with the caption "提示", owned by
    // the application's top-level window; returns when the user has closed it.
    virtual void ShowCopyFailure(const std::string& text) = 0;
};

// Copies the tree under src into dst, creating dst; false at the first file
// that cannot be copied, after exactly one box.
bool CopyFolderTree(platform::FileSystem& fs, FolderCopyView& view, const std::string& src, const std::string& dst);

// Deletes the tree under folder and the folder itself, deferring to the next
// restart what cannot be deleted now.
void DeleteFolderTree(platform::FileSystem& fs, const std::string& folder);

}  // namespace klv
