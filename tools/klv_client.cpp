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

#include "server/chain_cipher.h"
#include "server/update_protocol.h"

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

struct Command {
    const char* name;
    std::size_t argCount;
    const char* synopsis;
    int (*run)(const Args& args);
};

const Command kCommands[] = {
    {"check", 2, "check NAME VERSION   prints \"newer\" (exit 0) or \"not newer\" (exit 1)", RunCheck},
    {"get", 2, "get NAME PATH        fetches NAME into PATH (exit 0 done, 1 failed, 2 raised)", RunGet},
    {"decode", 1, "decode TEXT          writes the unscrambled TEXT to stdout", RunDecode},
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
