#include "sync/update_client.h"

#include "http/http_client.h"
#include "platform/error.h"
#include "platform/file_system.h"
#include "protocol/update_request.h"
#include "sync/file_body_writer.h"

namespace klv {

bool CheckFileUpdate(const std::string& fileName, const std::string& version) {
    try {
        HttpClient client;
        return client.Get(CheckFileUpUrl(fileName, version)) == kNewerAnswer;
    } catch (const std::exception&) {
        // A server that says no and one that cannot be reached look alike.
        return false;
    }
}

bool DownloadServerFile(const std::string& fileName, const std::string& path) {
    // Inflated as it arrives into a temporary file beside `path` and moved
    // into place complete, so a reader of `path` never meets a half-written
    // file and a launcher of any size costs no more memory than a small one.
    FileBodyWriter body(platform::RealFileSystem(), path);
    try {
        HttpClient client;
        client.Get(GetAFileUrl(fileName), body);
    } catch (const Error&) {
        // Every transport failure: there is exactly one attempt.
        return false;
    }
    body.Finish();
    body.Commit();
    return true;
}

}  // namespace klv
