#pragma once
// A loopback peer that answers every request with the same canned bytes and
// closes: for answers the real update server never gives (a 3-byte body, a
// stream cut short, "ok" in lower case).
#include <atomic>
#include <mutex>
#include <string>
#include <thread>

namespace klv::test {

class CannedAnswerServer {
public:
    explicit CannedAnswerServer(std::string answer);
    ~CannedAnswerServer();
    CannedAnswerServer(const CannedAnswerServer&) = delete;
    CannedAnswerServer& operator=(const CannedAnswerServer&) = delete;

    std::string BaseUrl() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }
    // The request head of the last request, as received.
    std::string LastHead() const;
    // Requests answered so far (one per connection).
    int Requests() const { return requests_.load(); }

    // A 200 answer carrying `body` with its Content-Length.
    static std::string Ok(const std::string& body);

private:
    void Serve();
    std::string answer_;
    int listenFd_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<int> requests_{0};
    mutable std::mutex mutex_;
    std::string lastHead_;
    std::thread thread_;
};

}  // namespace klv::test
