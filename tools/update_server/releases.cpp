#include "releases.h"

#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

namespace klv::update_server {
namespace {

std::string Trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace

bool IsReleaseName(const std::string& name) {
    if (name.empty() || name == "." || name == ".." || name == kCurrentReleaseName) return false;
    for (char c : name) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
                           c == '_' || c == '-';
        if (!plain) return false;
    }
    return true;
}

std::string ReleaseCookieIn(const std::string& cookieHeader) {
    std::size_t start = 0;
    while (start <= cookieHeader.size()) {
        std::size_t end = cookieHeader.find(';', start);
        if (end == std::string::npos) end = cookieHeader.size();
        const std::string pair = Trimmed(cookieHeader.substr(start, end - start));
        const std::size_t eq = pair.find('=');
        if (eq != std::string::npos && Trimmed(pair.substr(0, eq)) == kReleaseCookieName)
            return Trimmed(pair.substr(eq + 1));
        start = end + 1;
    }
    return {};
}

std::string ReleaseCookieFor(const std::string& release) {
    return std::string(kReleaseCookieName) + "=" + release + "; Max-Age=" + std::to_string(kReleaseCookieSeconds) +
           "; Path=/";
}

bool PackageSource::IsServedRelease(const std::string& name) const {
    struct stat st {};
    return IsReleaseName(name) && ::lstat((root_ + name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

PackageSource::Choice PackageSource::Choose(const std::string& cookieHeader) const {
    const std::string link = root_ + kCurrentReleaseName;
    struct stat st {};
    if (::lstat(link.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return Choice{root_, {}};

    const std::string pinned = ReleaseCookieIn(cookieHeader);
    if (!pinned.empty() && IsServedRelease(pinned)) return Choice{root_ + pinned + "/", pinned};

    // Read once per request: a switch of the link between two requests of
    // one client is what the cookie is for.
    char target[PATH_MAX];
    const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
    if (n <= 0) return Choice{};
    std::string name(target, static_cast<std::size_t>(n));
    while (!name.empty() && name.back() == '/') name.pop_back();
    if (!IsServedRelease(name)) return Choice{};  // a link that leads out of the releases folder
    return Choice{root_ + name + "/", name};
}

}  // namespace klv::update_server
