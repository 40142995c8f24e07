#include "support/update_server_fixture.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "platform/file_system.h"
#include "platform/path_text.h"

extern char** environ;

namespace klv::test {
namespace {

// Reads the first stdout line of the server; a hang guard, not a timing test.
std::string ReadFirstLine(int fd) {
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (line.find('\n') == std::string::npos) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) break;
        pollfd pfd{fd, POLLIN, 0};
        if (::poll(&pfd, 1, static_cast<int>(left)) <= 0) break;
        char chunk[256];
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got <= 0) break;
        line.append(chunk, static_cast<std::size_t>(got));
    }
    return line.substr(0, line.find('\n'));
}

}  // namespace

std::string ToolsDir() {
    return KLV_TOOLS_DIR;
}

UpdateServerFixture::UpdateServerFixture(const std::vector<std::string>& extraArgs) {
    const std::string binary = ToolsDir() + "/klv-update-server";
    std::vector<std::string> args = {binary, "--port", "0", "--stats", work_.native() + "stats.txt"};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    args.push_back(package_.native());
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);

    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    const std::string logPath = work_.native() + "server.log";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int rc = posix_spawn(&pid_, binary.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (rc != 0) {
        ::close(out[0]);
        pid_ = -1;
        throw std::runtime_error("cannot start " + binary);
    }
    const std::string line = ReadFirstLine(out[0]);
    ::close(out[0]);
    const std::size_t colon = line.rfind(':');
    if (line.rfind("listening on ", 0) != 0 || colon == std::string::npos) {
        Stop();
        throw std::runtime_error("update server did not start: \"" + line + "\"\n" + Log());
    }
    port_ = std::stoi(line.substr(colon + 1));
}

UpdateServerFixture::~UpdateServerFixture() {
    Stop();
}

void UpdateServerFixture::WritePackageFile(const std::string& name, const std::string& content) const {
    const std::string path = package_.path() + name;
    platform::RealFileSystem().CreateFolderChain(platform::FolderOf(path));
    platform::RealFileSystem().WriteWholeFile(path, content);
}

long long UpdateServerFixture::RequestCount() const {
    std::ifstream in(work_.native() + "stats.txt");
    std::string line;
    if (!std::getline(in, line) || line.rfind("requests=", 0) != 0) return 0;
    return std::stoll(line.substr(9));
}

std::string UpdateServerFixture::Log() const {
    std::ifstream in(work_.native() + "server.log");
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

int UpdateServerFixture::Stop() {
    if (pid_ <= 0) return -1;
    ::kill(pid_, SIGTERM);
    int status = 0;
    for (int waited = 0; waited < 2000; ++waited) {
        const pid_t done = ::waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            pid_ = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return -1;
}

}  // namespace klv::test
