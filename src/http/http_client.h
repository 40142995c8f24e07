#pragma once
// The HTTP/1.1 GET client through which every update-server request travels.
// One client object serves one Get at a time on one thread; it keeps its
// connection open between calls where the server allows it, and its cookies.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "http/body_sink.h"
#include "http/http_errors.h"
#include "http/memory_stream.h"

namespace klv {

enum class WorkMode { Read, Write };

// The launcher downloads on its GUI thread, so a server that goes silent must
// not freeze the window for good: connecting and every wait for data give up
// after this long (the read limit counts silence: it restarts whenever data
// arrives). They fail like any other transport failure.
constexpr int kConnectTimeoutMs = 30000;
constexpr int kReadTimeoutMs = 30000;
// A failing answer's body (or a redirect's) is read with this limit.
constexpr int kErrorBodyTimeoutMs = 2000;

class HttpClient {
public:
    HttpClient();
    ~HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    // GETs `url` and writes the body into `sink` (a MemoryStream from its
    // current position, or a sink of the caller's). Raises one of the kinds
    // of http_errors.h, or what the sink raised; body bytes written before a
    // failure stay in the sink (callers that retry reset it themselves).
    void Get(const std::string& url, BodySink& sink);
    // GETs `url` and returns the body bytes unchanged as 8-bit text.
    std::string Get(const std::string& url);

    // Work events, called synchronously on the thread running Get; each optional.
    std::function<void(HttpClient& sender, WorkMode mode, std::int32_t countMax)> OnWorkBegin;
    std::function<void(HttpClient& sender, WorkMode mode, std::int32_t count)> OnWork;
    std::function<void(HttpClient& sender, WorkMode mode)> OnWorkEnd;

    // The last answer, for diagnostics.
    int ResponseCode() const;
    const std::string& ResponseText() const;

    // Limits on silence. The defaults are the launcher's finite limits; tests
    // shorten them. 0 would mean waiting forever, which the launcher never does.
    void SetConnectTimeoutMs(int ms);
    void SetReadTimeoutMs(int ms);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace klv
