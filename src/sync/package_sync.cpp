#include "sync/package_sync.h"

#include <algorithm>
#include <unordered_map>

#include "platform/codepage.h"
#include "platform/text_encoding.h"
#include "package/name_rule.h"
#include "sync/package_fetch.h"
#include "protocol/version.h"
#include "texts/user_texts.h"

namespace klv {
namespace {

// Versions of the previous manifest by case-folded name, built once per
// synchronisation so that checking n lines costs n look-ups, not n * n.
// The first line with a name counts.
class ManifestIndex {
public:
    explicit ManifestIndex(const std::vector<ManifestEntry>& entries) {
        versions_.reserve(entries.size());
        for (const ManifestEntry& entry : entries) versions_.emplace(platform::AnsiUpperKey(entry.name), entry.version);
    }
    // The empty version for a name that is not listed.
    std::string VersionOf(const std::string& name) const {
        const auto it = versions_.find(platform::AnsiUpperKey(name));
        return it == versions_.end() ? std::string() : it->second;
    }

private:
    std::unordered_map<std::string, std::string> versions_;
};

// Deletes a manifest whatever its read-only attribute. Windows keeps the
// attribute through a rename and refuses to delete a read-only file, so a
// manifest that came read-only (copied from a CD, marked by a user) would
// otherwise outlive its commit as a stale files_o.txt, which every later run
// takes for the previous manifest.
bool RemoveManifest(platform::FileSystem& files, const std::string& path) {
    if (files.RemoveFile(path)) return true;
    return files.FileExists(path) && files.SetReadOnly(path, false) && files.RemoveFile(path);
}

// The finishing work of a synchronisation: hide the bar, enable the buttons
// and links, then keep the new manifest (after Commit) or bring the previous
// one back. A raised failure restores too, so that the folder never keeps a
// manifest naming versions of files that were never examined or fetched.
//
// The ways out that return call Finish in the ordinary flow; the destructor
// finishes only for a raised failure. The commit is a step of the run like
// any other and can meet a failure of its own (the process stopped at that
// very step): raised out of a destructor, that failure could not pass on to
// the caller but would end the process at once.
class SyncSession {
public:
    SyncSession(SyncView& view, platform::FileSystem& files, const std::string& folder, SyncProgressBar bar)
        : view_(view),
          files_(files),
          manifest_(folder + kManifestName),
          previous_(folder + kPreviousManifestName),
          bar_(bar) {}
    SyncSession(const SyncSession&) = delete;
    SyncSession& operator=(const SyncSession&) = delete;

    ~SyncSession() {
        if (!finished_) Finish();
    }

    void Finish() {
        finished_ = true;
        // The window must come back usable even if one of these calls fails.
        try {
            view_.SetProgressVisible(bar_, false);
        } catch (...) {
        }
        try {
            view_.SetActionsEnabled(true);
        } catch (...) {
        }
        if (committed_) {
            RemoveManifest(files_, previous_);
            return;
        }
        // files.txt goes only when it is not the previous manifest: this run
        // replaced it, or the previous one waits in files_o.txt. A previous
        // manifest that could not be moved aside, or was still being read
        // when a failure came, is the one copy there is.
        if (replaced_ || previousAside_) RemoveManifest(files_, manifest_);
        files_.RenameFile(previous_, manifest_);
    }

    void PreviousManifestMovedAside() { previousAside_ = true; }
    void ManifestReplaced() { replaced_ = true; }
    void Commit() { committed_ = true; }

private:
    SyncView& view_;
    platform::FileSystem& files_;
    std::string manifest_;
    std::string previous_;
    SyncProgressBar bar_;
    bool previousAside_ = false;
    bool replaced_ = false;
    bool committed_ = false;
    bool finished_ = false;
};

// Loads the folder's previous manifest and moves it aside as files_o.txt.
std::vector<ManifestEntry> TakePreviousManifest(platform::FileSystem& files, const std::string& folder,
                                                SyncSession& session) {
    const std::string manifest = folder + kManifestName;
    const std::string previous = folder + kPreviousManifestName;
    if (files.FileExists(previous)) {
        // A synchronisation was cut short (power lost, stick pulled) after
        // the manifest had been replaced: files_o.txt is the last manifest
        // whose files all arrived, and files.txt may name versions that never
        // did. Start again from the complete one.
        std::vector<ManifestEntry> entries = ParseManifest(files.ReadWholeFile(previous));
        RemoveManifest(files, manifest);
        session.PreviousManifestMovedAside();
        return entries;
    }
    if (!files.FileExists(manifest)) return {};
    std::vector<ManifestEntry> entries = ParseManifest(files.ReadWholeFile(manifest));
    // A failed rename is ignored; files.txt then stays the previous manifest.
    if (files.RenameFile(manifest, previous)) session.PreviousManifestMovedAside();
    return entries;
}

}  // namespace

std::string ProgressPrefix(std::size_t index, std::size_t count) {
    return "(" + std::to_string(index) + "/" + std::to_string(count) + ")";
}

int ProgressPosition(std::size_t index, std::size_t count) {
    if (count == 0) return 0;
    return static_cast<int>(static_cast<unsigned long long>(index) * 100 / count);
}

std::string TransferProgress(std::int32_t count, std::int32_t transferSize) {
    const std::int64_t received = count < 0 ? 0 : count;
    if (transferSize <= 0) return std::to_string(received / 1024) + "KB";
    std::string percent = std::to_string(received * 100 / transferSize);
    if (percent.size() == 1) percent.insert(0, "0");
    return percent + "%";
}

PackageSynchroniser::PackageSynchroniser(HttpClient& http, platform::FileSystem& files, SyncView& view)
    : http_(http), files_(files), view_(view) {
    http_.OnWorkBegin = [this](HttpClient& sender, WorkMode mode, std::int32_t countMax) {
        IdHTTPWorkBegin(sender, mode, countMax);
    };
    http_.OnWork = [this](HttpClient& sender, WorkMode mode, std::int32_t count) { IdHTTPWork(sender, mode, count); };
}

PackageSynchroniser::~PackageSynchroniser() {
    http_.OnWorkBegin = nullptr;
    http_.OnWork = nullptr;
}

bool PackageSynchroniser::FetchPackageFile(const std::string& folder, const std::string& name) {
    return klv::FetchPackageFile(http_, files_, folder, name);
}

bool PackageSynchroniser::SyncPackage(const std::string& folder, SyncProgressBar bar) {
    view_.SetProgressPosition(bar, 0);
    view_.SetProgressVisible(bar, true);
    SyncSession session(view_, files_, folder, bar);
    view_.SetActionsEnabled(false);
    view_.ProcessMessages();
    activeBar_ = bar;

    const ManifestIndex previous(TakePreviousManifest(files_, folder, session));
    if (!FetchPackageFile(folder, kManifestName)) {
        view_.ShowWarningBox(texts::kSyncDownloadFailed, texts::kCaption);
        session.Finish();
        return false;
    }
    session.ManifestReplaced();

    const std::vector<ManifestEntry> listed = ParseManifest(files_.ReadWholeFile(folder + kManifestName));
    const std::size_t n = listed.size();
    for (std::size_t i = 0; i < n; ++i) {
        const ManifestEntry& entry = listed[i];
        view_.SetProgressPosition(bar, ProgressPosition(i, n));
        view_.SetProgressTooltip(bar, texts::kDownloadingTooltip + platform::AnsiToUtf8(entry.name));
        progressPrefix_ = ProgressPrefix(i, n);
        view_.SetProgressText(bar, progressPrefix_ + " 00%");
        view_.ProcessMessages();

        // A name that leaves the folder fails the run like a file that cannot
        // be fetched. A blank line, or one without "=", has the empty name:
        // no file exists by it, so it is fetched and fails like any name the
        // server does not have, as the completeness check reads it too.
        if (!IsPackageFileName(entry.name)) {
            session.Finish();
            return false;
        }
        if (files_.FileExists(PackageFilePath(folder, entry.name)) &&
            !VersionIsNewer(entry.version, previous.VersionOf(entry.name)))
            continue;
        if (!FetchPackageFile(folder, entry.name)) {
            session.Finish();
            return false;
        }
    }
    session.Commit();
    session.Finish();
    return true;
}

void PackageSynchroniser::IdHTTPWorkBegin(HttpClient&, WorkMode, std::int32_t workCountMax) {
    transferSize_ = workCountMax;
}

void PackageSynchroniser::IdHTTPWork(HttpClient&, WorkMode, std::int32_t workCount) {
    if (activeBar_)
        view_.SetProgressText(*activeBar_, progressPrefix_ + " " + TransferProgress(workCount, transferSize_));
    view_.ProcessMessages();
}

}  // namespace klv
