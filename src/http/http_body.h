#pragma once
// Reading a response body in one of its four framings, with the work events
// that drive the launcher's progress bar.
#include <cstddef>
#include <cstdint>

#include "http/body_sink.h"
#include "http/http_input.h"
#include "http/http_response.h"
#include "http/memory_stream.h"

namespace klv {

// Receives the work events of body reads (wmRead only).
class WorkListener {
public:
    virtual ~WorkListener() = default;
    virtual void WorkBegin(std::int32_t countMax) = 0;
    virtual void Work(std::int32_t count) = 0;
    virtual void WorkEnd() = 0;
};

// Nesting and cumulative count of one work mode. A period opened while
// another is open only deepens the level, so listeners see one begin/end pair.
class WorkMeter {
public:
    explicit WorkMeter(WorkListener* listener) : listener_(listener) {}
    void Begin(std::int64_t countMax);
    void Add(std::size_t bytes);
    void End();

private:
    WorkListener* listener_;
    int level_ = 0;
    std::int64_t count_ = 0;
};

struct BodyLimits {
    // The sink is told the announced length (BodySink::Expect) when it is at
    // most this big; beyond, it grows as data arrives, so a lying
    // Content-Length cannot make the launcher allocate gigabytes up front.
    std::size_t presizeLimit = std::size_t{512} << 20;
};

// Reads the body that `head` announces into `sink`, from its position:
//   Content-Length > 0   exactly that many bytes; an early close ends it
//                        quietly with the full blocks received;
//   chunked              chunk by chunk, each chunk its own work period;
//   no Content-Length    until the peer closes;
//   Content-Length 0     nothing.
// The caller decides which answers have a body at all (204 has none).
void ReadBody(InputBuffer& input, const ResponseHead& head, BodySink& sink, WorkMeter& meter,
              const BodyLimits& limits = BodyLimits());

// Hexadecimal chunk size of a chunk-size line cut at its first space; a line
// that is not plain hexadecimal (an extension after ";" included) counts as 0.
std::int64_t ParseChunkSize(const std::string& line);

}  // namespace klv
