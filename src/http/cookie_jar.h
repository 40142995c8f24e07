#pragma once
// The cookies of one HTTP client object: taken from every response head, sent
// back as the last header line of later requests.
#include <cstdint>
#include <functional>
#include <map>
#include <shared_mutex>
#include <string>
#include <vector>

namespace klv {

struct StoredCookie {
    std::string name;
    std::string value;
    std::string domain;
    std::string path;
    bool secure = false;
    bool hasExpiry = false;
    std::int64_t expiresAt = 0;  // seconds since 1970, UTC
    // VERSION, COMMENT, COMMENTURL, DISCARD, PORT and any other attribute:
    // kept, without effect.
    std::map<std::string, std::string> otherAttributes;
};

class CookieJar {
public:
    using Clock = std::function<std::int64_t()>;  // seconds since 1970, UTC
    explicit CookieJar(Clock now = nullptr);

    // Offers the value of one Set-Cookie or Set-Cookie2 line received from `host`.
    void Offer(const std::string& setCookieValue, const std::string& host);
    // The Cookie header value for a request to `host` with `path` (the part up
    // to and including the last "/"), or empty when no cookie goes.
    std::string CookieHeaderFor(const std::string& host, const std::string& path);

    std::vector<StoredCookie> Cookies() const;

private:
    std::int64_t Now() const;

    Clock now_;
    mutable std::shared_mutex lock_;
    std::vector<StoredCookie> cookies_;
};

// Parses the date of an EXPIRES attribute (the RFC 1123, RFC 850 and asctime
// forms, leniently); false when no date can be made of it.
bool ParseCookieDate(const std::string& text, std::int64_t& secondsSince1970);

}  // namespace klv
