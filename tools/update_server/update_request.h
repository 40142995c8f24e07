#pragma once
// The server's answers to the two request kinds of the update-server
// protocol (read by ParseUpdateRequest), and their form in the log.
#include <map>
#include <string>

#include "body_cache.h"
#include "protocol/update_request.h"
#include "releases.h"

namespace klv::update_server {

struct Answer {
    int status = 200;
    Body body;              // shared with the cache for GetAFile
    std::string setCookie;  // a Set-Cookie value for the answer, or empty
};

// Answers the requests for a package folder or a releases folder `folder`
// (POSIX, ending in "/"; see releases.h).
class UpdateRequestHandler {
public:
    UpdateRequestHandler(std::string folder, BodyCache& cache) : source_(std::move(folder)), cache_(cache) {}
    // `cookieHeader` is the request's Cookie header: it names the release
    // that a client synchronising from a releases folder started with.
    Answer Handle(const UpdateRequest& request, const std::string& cookieHeader = {});

private:
    Answer GetAFile(const std::string& folder, const std::string& name);
    Answer CheckFileUp(const std::string& folder, const std::string& name, const std::string& nowVersion);
    Answer Dispatch(const std::string& folder, const UpdateRequest& request);

    PackageSource source_;
    BodyCache& cache_;
};

// The request as a path for the log's request line: "/" + kind + "/" + file
// name, and "?NowVer=" + version for CheckFileUp; every byte outside
// letters, digits and "-._~" percent-encoded, so that log tools read it as
// a plain URL path.
std::string LogPathOf(const UpdateRequest& request);

// A readable form of the plain text for log lines: CR LF as " | ", other
// control bytes as \xNN.
std::string Printable(const std::string& text);

}  // namespace klv::update_server
