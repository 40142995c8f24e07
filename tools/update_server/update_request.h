#pragma once
// The two request kinds of the update-server protocol, as the server reads
// them: the request target is "/" followed by the scrambled parameter list.
#include <map>
#include <string>

#include "body_cache.h"

namespace klv::server {

struct UpdateRequest {
    std::string plainText;  // the unscrambled parameter list, for the log
    std::map<std::string, std::string> params;
};

// Unscrambles the target and reads its lines (name=value, each ending in
// CR LF). False when the target is not "/" + whole hex pairs, or the plain
// text is not such a list.
bool ParseUpdateRequest(const std::string& target, UpdateRequest& request);

struct Answer {
    int status = 200;
    Body body;  // shared with the cache for GetAFile
};

// Answers a request for the package folder `folder` (POSIX, ending in "/").
class UpdateRequestHandler {
public:
    UpdateRequestHandler(std::string folder, BodyCache& cache) : folder_(std::move(folder)), cache_(cache) {}
    Answer Handle(const UpdateRequest& request);

private:
    Answer GetAFile(const std::string& name);
    Answer CheckFileUp(const std::string& name, const std::string& nowVersion);

    std::string folder_;
    BodyCache& cache_;
};

// A readable form of the plain text for log lines: CR LF as " | ", other
// control bytes as \xNN.
std::string Printable(const std::string& text);

}  // namespace klv::server
