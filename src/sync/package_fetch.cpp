#include "sync/package_fetch.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "platform/codepage.h"
#include "platform/error.h"
#include "sync/file_body_writer.h"
#include "protocol/update_request.h"

namespace klv {
namespace {

// Moves the file at `target` out of the way of its replacement: to
// target + ".old", else to the first free target + ".old" + N. The path it
// went to; empty when it could not be moved.
std::string MoveAside(platform::FileSystem& files, const std::string& target) {
    const std::string old = target + ".old";
    if (files.RenameFile(target, old)) return old;
    return platform::MoveToFreeOldName(files, target);
}

// Puts the new content, complete under its temporary name, at `target`,
// keeping the file that was there until the move is done: it waits under its
// displacement name meanwhile and comes back if the move fails, so a failed
// replacement never costs the working file. Afterwards the displaced file is
// deleted, or, when it cannot be (a running program), stays under that name.
// False when the old file could be neither moved nor deleted; the new
// content is dropped then.
bool ReplaceFile(platform::FileSystem& files, const std::string& target, FileBodyWriter& content) {
    // A target + ".old" that can be deleted is no running program: it is a
    // copy displaced while in use that has been let go since, or one that a
    // replacement cut short (the launcher killed, the power lost) left
    // between moving the old file aside and deleting it, the target then
    // missing. Either is older than what comes now and would otherwise stay
    // in the folder for good, pushing every later displacement onto a
    // numbered name.
    const std::string leftover = target + ".old";
    if (files.FileExists(leftover)) files.RemoveFile(leftover);

    std::string aside;
    if (files.FileExists(target)) {
        aside = MoveAside(files, target);
        // A file that will not move may still be deleted (a rename refused
        // for a reason a delete does not share); then there is no way back.
        if (aside.empty() && !files.RemoveFile(target)) return false;
    }
    try {
        content.Commit();
    } catch (...) {
        if (!aside.empty()) files.RenameFile(aside, target);
        throw;
    }
    if (!aside.empty()) files.RemoveFile(aside);
    return true;
}

// The folder of a target and the folders above it that are missing: created
// when the first content arrives, and removed again when no attempt brought
// the file, so that a failed fetch leaves no folder behind.
class TargetFolder {
public:
    TargetFolder(platform::FileSystem& files, std::string folder) : files_(files), folder_(std::move(folder)) {}

    void Create() {
        if (created_) return;
        for (std::string f = folder_; !f.empty() && !files_.DirectoryExists(f);) {
            missing_.push_back(f);
            const std::string parent = platform::FolderOf(f.substr(0, f.size() - 1));
            if (parent.size() >= f.size()) break;
            f = parent;
        }
        if (!missing_.empty() && !files_.CreateFolderChain(folder_))
            throw Error("Unable to create directory \"" + folder_ + "\"");
        created_ = true;
    }
    void RemoveCreated() {
        for (const std::string& f : missing_) files_.RemoveEmptyFolder(f);  // deepest first
        missing_.clear();
        created_ = false;
    }

private:
    platform::FileSystem& files_;
    std::string folder_;
    std::vector<std::string> missing_;
    bool created_ = false;
};

}  // namespace

bool FetchPackageFile(HttpClient& http, platform::FileSystem& files, const std::string& folder,
                      const std::string& name) {
    if (!IsPackageFileName(name)) return false;
    const std::string target = PackageFilePath(folder, name);
    const std::string url = GetAFileUrl(name);

    // The body is inflated into the temporary file beside the target as it
    // arrives. The transport leaves a failed attempt's bytes in the sink, so
    // every attempt starts a fresh file: only the successful body counts.
    TargetFolder targetFolder(files, platform::FolderOf(target));
    std::unique_ptr<FileBodyWriter> body;
    bool received = false;
    for (int attempt = 0; attempt < kFetchAttempts && !received; ++attempt) {
        body.reset();  // the previous attempt's temporary file goes first
        body = std::make_unique<FileBodyWriter>(files, target, [&targetFolder] { targetFolder.Create(); });
        try {
            http.Get(url, *body);
            received = true;
        } catch (const Error&) {
            // Any failure of the call is counted, a buffer that cannot be had
            // included; the same request is sent again at once.
        }
    }
    if (!received) {
        body.reset();
        targetFolder.RemoveCreated();
        return false;
    }
    targetFolder.Create();
    body->Finish();

    // Only now, with the new content complete on disk, does the old file
    // make room.
    return ReplaceFile(files, target, *body);
}

}  // namespace klv
