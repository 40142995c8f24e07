#pragma once
// One line per request on stderr, in the common log format that log tools
// read, followed by the unscrambled request and the time taken:
//   127.0.0.1 - - [10/Dec/2026:13:42:01 +0000] "GET /KLVGetAFile/sub%5Ca.dll HTTP/1.1" 200 27 "aFlag=KLVGetAFile |
//   FileName=sub\\a.dll" 1.1ms
// The request line names the decoded request kind and file (LogPathOf), since
// the scrambled target says nothing to a reader. Also a request counter that tests can read
// (optionally mirrored into a stats file), and the --fail-first budget.
// Lines are gathered per thread and written by Flush, so that a busy server
// writes many lines per system call; the server flushes whenever a thread
// has no other work ready, so a line still appears as soon as it is idle.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace klv::update_server {

class RequestLog {
public:
    RequestLog(std::string statsPath, std::int64_t failFirst)
        : statsPath_(std::move(statsPath)), failLeft_(failFirst) {}

    // Counts a request whose head has been read, before it is answered, so a
    // client that holds the answer also finds the count updated. True when
    // this request is one of the first N that must fail.
    bool Begin();
    // Adds the line to the calling thread's batch.
    // `peer` is "address:port"; `requestLine` the log's request line; `what`
    // the unscrambled request (or the raw one when it is none).
    void Line(const std::string& peer, const std::string& requestLine, const std::string& what, int status,
              std::uint64_t bytes, double ms);
    // Writes the calling thread's batch to stderr.
    void Flush();
    std::int64_t Count() const { return count_.load(); }

private:
    void WriteStats(std::int64_t count);

    std::string statsPath_;
    std::atomic<std::int64_t> count_{0};
    std::atomic<std::int64_t> failLeft_;
    std::mutex statsMutex_;  // only with a stats file
    std::mutex writeMutex_;  // whole batches on stderr
};

}  // namespace klv::update_server
