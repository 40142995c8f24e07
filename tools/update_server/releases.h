#pragma once
// What the server serves: a plain package folder, or a releases folder that
// holds one folder per release and "current", a symbolic link naming the
// live one (switched by one rename, so there is no moment without a release).
//
// A launcher synchronises one file after another; a release published in
// the middle must not give it the new files.txt and an old file, or an old
// files.txt and a new file. So every answer from a releases folder carries a
// cookie naming the release it came from, and a request that sends the
// cookie back is served from that release for as long as it is there, on
// any connection and through any server behind a balancer. The launcher's
// and klv-client's client objects keep cookies; a client that does not gets
// the current release at every request.
#include <string>

namespace klv::update_server {

inline constexpr char kReleaseCookieName[] = "KLVRelease";
inline constexpr char kCurrentReleaseName[] = "current";
// Long enough for any pause within one synchronisation; the cookie is sent
// again with every answer, so only a client idle this long moves on.
inline constexpr int kReleaseCookieSeconds = 900;

// A folder of the releases folder that may be served under this name: one
// component of letters, digits, ".", "_" and "-", not "." or "..", and not
// the link itself.
bool IsReleaseName(const std::string& name);

// The value of the release cookie in a Cookie header; empty when none.
std::string ReleaseCookieIn(const std::string& cookieHeader);

// The Set-Cookie value that pins a client to `release`.
std::string ReleaseCookieFor(const std::string& release);

class PackageSource {
public:
    // `root` is a POSIX folder ending in "/".
    explicit PackageSource(std::string root) : root_(std::move(root)) {}

    struct Choice {
        std::string folder;   // POSIX, ending in "/"; empty when nothing can be served
        std::string release;  // empty for a plain package folder
    };

    // The folder that a request with `cookieHeader` is served from. A plain
    // folder is served as it is. In a releases folder: the release the
    // cookie names while that release is there, else the one "current"
    // names now.
    Choice Choose(const std::string& cookieHeader) const;

private:
    bool IsServedRelease(const std::string& name) const;

    std::string root_;
};

}  // namespace klv::update_server
