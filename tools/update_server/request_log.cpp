#include "request_log.h"

#include <stdio.h>

#include <fstream>

namespace klv::server {

bool RequestLog::Begin() {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::int64_t count = ++count_;
    if (!statsPath_.empty()) WriteStats(count);
    return failLeft_.fetch_sub(1) > 0;
}

void RequestLog::WriteStats(std::int64_t count) {
    // Written beside and renamed, so a reader never sees a half-written count.
    const std::string temporary = statsPath_ + ".tmp";
    {
        std::ofstream out(temporary, std::ios::trunc);
        out << "requests=" << count << "\n";
    }
    ::rename(temporary.c_str(), statsPath_.c_str());
}

void RequestLog::Line(const std::string& peer, const std::string& request, int status, std::uint64_t bytes, double ms) {
    std::lock_guard<std::mutex> lock(mutex_);
    fprintf(stderr, "%s \"%s\" %d %llu %.1fms\n", peer.c_str(), request.c_str(), status,
            static_cast<unsigned long long>(bytes), ms);
    fflush(stderr);
}

}  // namespace klv::server
