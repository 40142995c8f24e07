// klv-client: the launcher's update-server protocol from the command line.
// Each command is one row of kCommands; a new command is a function and a row.
#include <stdio.h>

#include <cstring>
#include <exception>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "platform/file_system.h"
#include "protocol/chain_cipher.h"
#include "http/http_client.h"
#include "sync/package_sync.h"
#include "protocol/update_request.h"
#include "sync/update_client.h"

namespace {

using Args = std::vector<std::string>;

constexpr int kExitUsage = 2;

// check NAME VERSION: exit 0 when the server holds a newer version.
int RunCheck(const Args& args) {
    const bool newer = klv::CheckFileUpdate(args[0], args[1]);
    puts(newer ? "newer" : "not newer");
    return newer ? 0 : 1;
}

// get NAME PATH: exit 0 when written, 1 when the request failed, 2 when
// decoding or writing raised (its message goes to stderr).
int RunGet(const Args& args) {
    try {
        return klv::DownloadServerFile(args[0], args[1]) ? 0 : 1;
    } catch (const std::exception& e) {
        fprintf(stderr, "%s\n", e.what());
        return 2;
    }
}

// decode TEXT: the unscrambled bytes, exactly, for reading captured requests.
int RunDecode(const Args& args) {
    const std::string plain = klv::ChainDecrypt(args[0], klv::kRequestKey);
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    fwrite(plain.data(), 1, plain.size(), stdout);
    return fflush(stdout) == 0 ? 0 : 1;
}

// check-url NAME VERSION, get-url NAME: the request URL the launcher sends,
// for other HTTP tools (a balancer's health check, a load generator).
int RunCheckUrl(const Args& args) {
    puts(klv::CheckFileUpUrl(args[0], args[1]).c_str());
    return 0;
}
int RunGetUrl(const Args& args) {
    puts(klv::GetAFileUrl(args[0]).c_str());
    return 0;
}

// The synchronisation's window, on a console: one progress line on stderr,
// rewritten in place, and the warning box as a line of its own.
class ConsoleSyncView : public klv::SyncView {
public:
    ~ConsoleSyncView() override {
        if (shown_) fputc('\n', stderr);
    }
    void SetProgressVisible(klv::SyncProgressBar, bool) override {}
    void SetProgressPosition(klv::SyncProgressBar, int position) override { position_ = position; }
    void SetProgressText(klv::SyncProgressBar, const std::string& text) override {
        if (text == text_) return;
        text_ = text;
        Draw();
    }
    void SetProgressTooltip(klv::SyncProgressBar, const std::string& text) override { tooltip_ = text; }
    void SetActionsEnabled(bool) override {}
    void ProcessMessages() override {}
    void ShowWarningBox(const std::string& text, const std::string& caption) override {
        fprintf(stderr, "%s%s: %s\n", shown_ ? "\n" : "", caption.c_str(), text.c_str());
        shown_ = false;
    }

private:
    void Draw() {
        std::string line = "\r[" + std::to_string(position_) + "%] " + text_ + "  " + tooltip_;
        // Pad over whatever a longer previous line left behind.
        const std::size_t width = line.size();
        if (width < lastWidth_) line.append(lastWidth_ - width, ' ');
        lastWidth_ = width;
        fputs(line.c_str(), stderr);
        shown_ = true;
    }

    int position_ = 0;
    std::string text_;
    std::string tooltip_;
    std::size_t lastWidth_ = 0;
    bool shown_ = false;
};

// The core's form of a folder: backslashes, ending in one.
std::string CoreFolder(std::string folder) {
    for (char& c : folder)
        if (c == '/') c = '\\';
    if (folder.empty() || folder.back() != '\\') folder += '\\';
    return folder;
}

// sync FOLDER: exit 0 when the package is complete and current, 1 when the
// manifest or a file could not be fetched, 2 when a step raised.
int RunSync(const Args& args) {
    try {
        klv::HttpClient http;
        ConsoleSyncView view;
        klv::PackageSynchroniser synchroniser(http, klv::platform::RealFileSystem(), view);
        return synchroniser.SyncPackage(CoreFolder(args[0]), klv::SyncProgressBar::Download) ? 0 : 1;
    } catch (const std::exception& e) {
        fprintf(stderr, "%s\n", e.what());
        return 2;
    }
}

struct Command {
    const char* name;
    std::size_t argCount;
    const char* synopsis;
    int (*run)(const Args& args);
};

const Command kCommands[] = {
    {"check", 2, "check NAME VERSION   prints \"newer\" (exit 0) or \"not newer\" (exit 1)", RunCheck},
    {"get", 2, "get NAME PATH        fetches NAME into PATH (exit 0 done, 1 failed, 2 raised)", RunGet},
    {"sync", 1, "sync FOLDER          brings the package in FOLDER up to date (exit 0 done, 1 failed, 2 raised)",
     RunSync},
    {"decode", 1, "decode TEXT          writes the unscrambled TEXT to stdout", RunDecode},
    {"check-url", 2, "check-url NAME VERSION  prints the CheckFileUp request's URL", RunCheckUrl},
    {"get-url", 1, "get-url NAME         prints the GetAFile request's URL", RunGetUrl},
};

void PrintUsage(FILE* out) {
    fputs("usage: klv-client [--server http://HOST:PORT/] COMMAND ARGS...\n", out);
    for (const Command& command : kCommands) fprintf(out, "  %s\n", command.synopsis);
    fputs("--server replaces the built-in update-server address.\n", out);
}

int UsageError(const std::string& message) {
    fprintf(stderr, "klv-client: %s\n", message.c_str());
    PrintUsage(stderr);
    return kExitUsage;
}

// "http://host:port/", nothing more: the request text is appended to it.
bool IsServerUrl(const std::string& url) {
    const std::string scheme = "http://";
    if (url.compare(0, scheme.size(), scheme) != 0 || url.back() != '/') return false;
    const std::string authority = url.substr(scheme.size(), url.size() - scheme.size() - 1);
    const std::size_t colon = authority.find(':');
    if (colon == std::string::npos || colon == 0 || authority.find('/') != std::string::npos) return false;
    const std::string port = authority.substr(colon + 1);
    return !port.empty() && port.size() <= 5 && port.find_first_not_of("0123456789") == std::string::npos &&
           std::stoi(port) > 0 && std::stoi(port) < 65536;
}

}  // namespace

int main(int argc, char** argv) {
    Args args(argv + 1, argv + argc);
    std::size_t next = 0;
    if (next < args.size() && (args[next] == "--help" || args[next] == "-h")) {
        PrintUsage(stdout);
        return 0;
    }
    if (next < args.size() && args[next] == "--server") {
        if (next + 1 >= args.size() || !IsServerUrl(args[next + 1]))
            return UsageError("--server needs a URL of the form http://HOST:PORT/");
        klv::SetServerBaseUrl(args[next + 1]);
        next += 2;
    }
    if (next >= args.size()) return UsageError("no command");
    for (const Command& command : kCommands) {
        if (args[next] != command.name) continue;
        const Args rest(args.begin() + static_cast<std::ptrdiff_t>(next + 1), args.end());
        if (rest.size() != command.argCount) return UsageError(std::string("wrong arguments for ") + command.name);
        return command.run(rest);
    }
    return UsageError("unknown command: " + args[next]);
}
