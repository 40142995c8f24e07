// klv-http-peer PORT_FILE [LIFETIME_SECONDS]
// Listens on an ephemeral port of 127.0.0.1, writes the port number into
// PORT_FILE (written under a temporary name and renamed, so a reader never
// sees half of it) and answers GETs by path:
//   /small...      "hello" with Content-Length, connection kept
//   /big           1000000 patterned bytes with Content-Length
//   /early         announces 80000 bytes, sends 40000, closes
//   /connections   the number of connections accepted so far
//   /quit          answers, then ends the program
// It ends by itself after LIFETIME_SECONDS (default 120) in any case, so a
// test that dies cannot leave it behind.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

std::string Patterned(std::size_t n) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + (i * 7 + i / 251) % 26);
    return s;
}

bool SendAll(int fd, const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

std::string Answer(const std::string& body) {
    return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: klv-http-peer PORT_FILE [LIFETIME_SECONDS]\n");
        return 2;
    }
    const int lifetime = argc > 2 ? std::atoi(argv[2]) : 120;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(lifetime);
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listener, 8) != 0)
        return 1;
    socklen_t size = sizeof address;
    getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size);
    const std::string portFile = argv[1];
    if (FILE* f = std::fopen((portFile + ".tmp").c_str(), "w")) {
        std::fprintf(f, "%u\n", ntohs(address.sin_port));
        std::fclose(f);
        std::rename((portFile + ".tmp").c_str(), portFile.c_str());
    }
    const std::string big = Patterned(1000000);
    int connections = 0;
    bool quit = false;
    while (!quit && std::chrono::steady_clock::now() < deadline) {
        pollfd p{listener, POLLIN, 0};
        if (poll(&p, 1, 200) <= 0) continue;
        const int fd = accept(listener, nullptr, nullptr);
        if (fd < 0) continue;
        ++connections;
        std::string pending;
        bool open = true;
        while (open && !quit && std::chrono::steady_clock::now() < deadline) {
            const std::size_t end = pending.find("\r\n\r\n");
            if (end == std::string::npos) {
                pollfd c{fd, POLLIN, 0};
                if (poll(&c, 1, 200) <= 0) continue;
                char buffer[8192];
                const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
                if (n <= 0) break;
                pending.append(buffer, static_cast<std::size_t>(n));
                continue;
            }
            const std::string head = pending.substr(0, end);
            pending.erase(0, end + 4);
            const std::size_t pathAt = head.find(' ') + 1;
            const std::string path = head.substr(pathAt, head.find(' ', pathAt) - pathAt);
            if (path.rfind("/small", 0) == 0) {
                open = SendAll(fd, Answer("hello"));
            } else if (path == "/big") {
                open = SendAll(fd, Answer(big));
            } else if (path == "/early") {
                SendAll(fd, "HTTP/1.1 200 OK\r\nContent-Length: 80000\r\n\r\n");
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                SendAll(fd, big.substr(0, 40000));
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                open = false;
            } else if (path == "/connections") {
                open = SendAll(fd, Answer(std::to_string(connections)));
            } else if (path == "/quit") {
                SendAll(fd, "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 3\r\n\r\nbye");
                quit = true;
            } else {
                open = SendAll(fd, "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
            }
        }
        close(fd);
    }
    close(listener);
    std::remove(portFile.c_str());
    return 0;
}
