// Download throughput of our transport against curl, over loopback, from a
// server of ours that sends a 256 MiB body with Content-Length from memory.
// Runs alternate (ours, curl, ours, ...) so that machine load hits both alike.
// Prints figures; never a test. Build with -DCMAKE_BUILD_TYPE=Release.
//   bench_http_download [RUNS] [MEBIBYTES]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "http/http_client.h"

namespace {

// Answers every request on every connection with the same body.
class MemoryServer {
public:
    explicit MemoryServer(std::size_t bodySize) : body_(bodySize, 'x') {
        for (std::size_t i = 0; i < bodySize; i += 4096) body_[i] = static_cast<char>(i / 4096);
        head_ = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(bodySize) + "\r\n\r\n";
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        listen(listener_, 8);
        socklen_t size = sizeof a;
        getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &size);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { Run(); });
    }
    ~MemoryServer() {
        stop_ = true;
        shutdown(listener_, SHUT_RDWR);
        close(listener_);
        thread_.join();
    }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/body"; }

private:
    void Run() {
        while (!stop_) {
            const int fd = accept(listener_, nullptr, nullptr);
            if (fd < 0) continue;
            std::thread([this, fd] { Serve(fd); }).detach();
        }
    }
    void Serve(int fd) {
        std::string pending;
        char buffer[4096];
        for (;;) {
            const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0) break;
            pending.append(buffer, static_cast<std::size_t>(n));
            std::size_t end;
            while ((end = pending.find("\r\n\r\n")) != std::string::npos) {
                pending.erase(0, end + 4);
                if (!SendAll(fd, head_) || !SendAll(fd, body_)) {
                    close(fd);
                    return;
                }
            }
        }
        close(fd);
    }
    static bool SendAll(int fd, const std::string& bytes) {
        std::size_t sent = 0;
        while (sent < bytes.size()) {
            const ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) return false;
            sent += static_cast<std::size_t>(n);
        }
        return true;
    }

    std::string body_;
    std::string head_;
    int listener_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 5;
    const std::size_t mib = argc > 2 ? static_cast<std::size_t>(std::atoi(argv[2])) : 256;
    const std::size_t size = mib << 20;
    MemoryServer server(size);
    std::vector<double> ours, curl, warm;
    klv::MemoryStream warmSink;
    for (int run = 0; run < runs; ++run) {
        {
            // A fresh client object and sink per run, as the launcher's
            // downloads do: connect, presize and fill are all in the figure.
            const auto start = std::chrono::steady_clock::now();
            klv::HttpClient client;
            klv::MemoryStream sink;
            client.Get(server.Url(), sink);
            const double s = Seconds(start);
            if (sink.Size() != size) {
                std::fprintf(stderr, "short body: %zu\n", sink.Size());
                return 1;
            }
            ours.push_back(static_cast<double>(size) / s / 1048576.0);
        }
        {
            // The same with a sink whose memory is already mapped: the gap to
            // the figure above is the cost of faulting in 256 MiB of fresh memory,
            // which curl writing to /dev/null never pays.
            warmSink.Seek(0);
            const auto start = std::chrono::steady_clock::now();
            klv::HttpClient client;
            client.Get(server.Url(), warmSink);
            warm.push_back(static_cast<double>(size) / Seconds(start) / 1048576.0);
        }
        {
            const std::string command = "curl -s -o /dev/null -w '%{size_download}' " + server.Url();
            const auto start = std::chrono::steady_clock::now();
            FILE* pipe = popen(command.c_str(), "r");
            char out[64] = {};
            const std::size_t got = pipe ? std::fread(out, 1, sizeof out - 1, pipe) : 0;
            if (pipe) pclose(pipe);
            const double s = Seconds(start);
            if (got == 0 || std::strtoull(out, nullptr, 10) != size) {
                std::fprintf(stderr, "curl failed\n");
                return 1;
            }
            curl.push_back(static_cast<double>(size) / s / 1048576.0);
        }
        std::printf("run %d: ours %.0f MiB/s (warm sink %.0f), curl %.0f MiB/s\n", run + 1, ours.back(), warm.back(),
                    curl.back());
    }
    const double o = Median(ours), c = Median(curl);
    const double w = Median(warm);
    std::printf(
        "median of %d runs, %zu MiB over loopback: ours %.0f MiB/s, curl %.0f MiB/s, ours/curl %.2f; "
        "warm sink %.0f MiB/s, ratio %.2f\n",
        runs, mib, o, c, o / c, w, w / c);
    return 0;
}
