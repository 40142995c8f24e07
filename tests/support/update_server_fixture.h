#pragma once
// Runs the real klv-update-server binary over a temporary package folder on a
// free loopback port, for tests that need the protocol end to end.
//
// Usage:
//   klv::test::UpdateServerFixture server;              // started, port known
//   server.WritePackageFile("sub\\x.dll", "content");  // files may come later
//   server.WritePackageFile("files.txt", "sub\\x.dll=1.0.0.1\r\n");
//   klv::SetServerBaseUrl(server.BaseUrl());           // "http://127.0.0.1:PORT/"
//   ... requests ...
//   EXPECT_EQ(server.RequestCount(), 2);                // counted before answering
// Extra server options (e.g. {"--fail-first", "2"}) go to the constructor.
// The destructor stops the server by its PID (SIGTERM, then SIGKILL).
#include <sys/types.h>

#include <string>
#include <vector>

#include "support/temp_folder.h"

namespace klv::test {

class UpdateServerFixture {
public:
    explicit UpdateServerFixture(const std::vector<std::string>& extraArgs = {});
    ~UpdateServerFixture();
    UpdateServerFixture(const UpdateServerFixture&) = delete;
    UpdateServerFixture& operator=(const UpdateServerFixture&) = delete;

    // The served folder. Prefer WritePackageFile for names with double-byte
    // characters: TempFolder::Write splits at every backslash byte.
    const TempFolder& Package() const { return package_; }
    // Writes `name` (core form, backslashes, code page 936) below the package
    // folder, creating sub-folders; a 0x5C trail byte stays part of the name.
    void WritePackageFile(const std::string& name, const std::string& content) const;

    std::string BaseUrl() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }
    int Port() const { return port_; }
    pid_t Pid() const { return pid_; }

    // Requests whose head the server has read, malformed ones included.
    long long RequestCount() const;
    // What the server wrote to stderr so far (one line per request).
    std::string Log() const;

    // Sends SIGTERM and waits (hang guard: 20 s, then SIGKILL). Returns the
    // exit status (0 for a clean shutdown), -1 when it had to be killed.
    int Stop();

private:
    TempFolder package_;
    TempFolder work_;  // log and stats, outside the served folder
    pid_t pid_ = -1;
    int port_ = 0;
};

// The tools folder of this build (klv-update-server, klv-client).
std::string ToolsDir();

}  // namespace klv::test
