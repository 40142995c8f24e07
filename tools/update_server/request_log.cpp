#include "request_log.h"

#include <stdio.h>
#include <time.h>

#include <algorithm>
#include <fstream>
#include <string>

namespace klv::update_server {

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

// "[10/Dec/2026:13:42:01 +0000]" for now, made once a second per thread.
const std::string& LogTime() {
    thread_local time_t t_second = 0;
    thread_local std::string t_text;
    const time_t now = time(nullptr);
    if (now != t_second || t_text.empty()) {
        static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
        struct tm utc {};
        gmtime_r(&now, &utc);
        char text[40];
        snprintf(text, sizeof text, "[%02d/%s/%04d:%02d:%02d:%02d +0000]", utc.tm_mday, kMonths[utc.tm_mon % 12],
                 utc.tm_year + 1900, utc.tm_hour, utc.tm_min, utc.tm_sec);
        t_text = text;
        t_second = now;
    }
    return t_text;
}

}  // namespace

void RequestLog::Line(const std::string& peer, const std::string& requestLine, const std::string& what, int status,
                      std::uint64_t bytes, double ms) {
    const std::size_t colon = peer.rfind(':');
    t_batch.append(peer, 0, colon == std::string::npos ? peer.size() : colon);
    t_batch += " - - ";
    t_batch += LogTime();
    t_batch += " \"";
    t_batch += requestLine;
    char middle[48];
    int n = snprintf(middle, sizeof middle, "\" %d %llu \"", status, static_cast<unsigned long long>(bytes));
    t_batch.append(middle, n > 0 ? std::min(static_cast<std::size_t>(n), sizeof middle - 1) : 0);
    t_batch += what;
    char tail[32];
    n = snprintf(tail, sizeof tail, "\" %.1fms\n", ms);
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

}  // namespace klv::update_server
