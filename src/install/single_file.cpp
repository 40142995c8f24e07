#include "install/single_file.h"

#include "platform/text_encoding.h"
#include "texts/user_texts.h"

namespace klv {

std::string CopyFailureText(const std::string& name) {
    return texts::CopyFileFailed(platform::AnsiToUtf8(name));
}

bool DisplaceExisting(platform::FileSystem& fs, const std::string& path) {
    if (!fs.FileExists(path) || fs.RemoveFile(path)) return true;
    return !platform::MoveToFreeOldName(fs, path).empty();
}

bool CopyOneFile(platform::FileSystem& fs, FolderCopyView& view, const std::string& src, const std::string& dst,
                 const std::string& name) {
    const std::string target = dst + name;
    const bool copied = DisplaceExisting(fs, target) && fs.CopyFileOver(src + name, target);
    if (!copied) view.ShowCopyFailure(CopyFailureText(name));
    return copied;
}

void DeleteFileOrDefer(platform::FileSystem& fs, const std::string& path) {
    if (!fs.FileExists(path) || fs.RemoveFile(path)) return;
    // A read-only file is ours to delete all the same, and the restart would
    // refuse it as well: make it writable and try once more before deferring.
    if (fs.SetReadOnly(path, false) && fs.RemoveFile(path)) return;
    fs.DeleteAtRestart(path);
}

}  // namespace klv
