#include "request_log.h"

#include <stdio.h>

#include <algorithm>
#include <fstream>
#include <string>

namespace klv::server {

bool RequestLog::Begin() {
    if (statsPath_.empty()) {
        ++count_;
    } else {
        // The count and its file move together, so the file never goes back.
        std::lock_guard<std::mutex> lock(statsMutex_);
        WriteStats(++count_);
    }
    return failLeft_.load(std::memory_order_relaxed) > 0 && failLeft_.fetch_sub(1) > 0;
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

namespace {
thread_local std::string t_batch;
}  // namespace

void RequestLog::Line(const std::string& peer, const std::string& request, int status, std::uint64_t bytes, double ms) {
    char tail[64];
    const int n = snprintf(tail, sizeof tail, "\" %d %llu %.1fms\n", status, static_cast<unsigned long long>(bytes), ms);
    t_batch += peer;
    t_batch += " \"";
    t_batch += request;
    t_batch.append(tail, n > 0 ? std::min(static_cast<std::size_t>(n), sizeof tail - 1) : 0);
    if (t_batch.size() >= 64 * 1024) Flush();
}

void RequestLog::Flush() {
    if (t_batch.empty()) return;
    {
        std::lock_guard<std::mutex> lock(writeMutex_);
        fwrite(t_batch.data(), 1, t_batch.size(), stderr);
        fflush(stderr);
    }
    t_batch.clear();
}

}  // namespace klv::server
