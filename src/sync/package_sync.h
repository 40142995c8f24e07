#pragma once
// Bringing a package folder up to date from the update server, driven by the
// manifest files.txt, with progress on one of the main window's bars.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "package/manifest.h"
#include "platform/file_system.h"
#include "http/http_client.h"
#include "sync/sync_view.h"

namespace klv {

// "(i/n)": which file of how many, i counting from 0.
std::string ProgressPrefix(std::size_t index, std::size_t count);
// The bar's position for line `index` of `count`: index * 100 / count, in
// integers (so 29 of 100 is 29, which a floating-point quotient misses).
int ProgressPosition(std::size_t index, std::size_t count);
// The transfer part of the bar's text: the percentage of `transferSize`,
// at least two digits ("05%", "50%", "100%"). A transfer of unknown size
// (0: a body read until the server closes) shows the kilobytes received
// so far instead ("12KB").
std::string TransferProgress(std::int32_t count, std::int32_t transferSize);

// The main window's download state and operations: the transfer size,
// progress prefix and active bar, the two work handlers of its client object,
// FetchPackageFile and SyncPackage. It hooks the client's OnWorkBegin and
// OnWork for its lifetime.
class PackageSynchroniser {
public:
    PackageSynchroniser(HttpClient& http, platform::FileSystem& files, SyncView& view);
    ~PackageSynchroniser();
    PackageSynchroniser(const PackageSynchroniser&) = delete;
    PackageSynchroniser& operator=(const PackageSynchroniser&) = delete;

    // Fetches the manifest and every listed file that is missing or newer
    // than the previous manifest says, in order, stopping at the first that
    // cannot be fetched. True when every listed file is present and up to
    // date. The buttons and links are disabled meanwhile and enabled again on
    // every way out; a failure (false or raised) restores the previous
    // manifest. `folder` ends with a backslash.
    bool SyncPackage(const std::string& folder, SyncProgressBar bar);
    bool FetchPackageFile(const std::string& folder, const std::string& name);

    // The client's work events (the work mode is not looked at).
    void IdHTTPWorkBegin(HttpClient& sender, WorkMode mode, std::int32_t workCountMax);
    void IdHTTPWork(HttpClient& sender, WorkMode mode, std::int32_t workCount);

    std::int32_t TransferSize() const { return transferSize_; }
    const std::string& CurrentProgressPrefix() const { return progressPrefix_; }

private:
    HttpClient& http_;
    platform::FileSystem& files_;
    SyncView& view_;
    std::int32_t transferSize_ = 0;
    std::string progressPrefix_;
    std::optional<SyncProgressBar> activeBar_;
};

}  // namespace klv
