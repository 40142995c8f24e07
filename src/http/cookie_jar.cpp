#include "http/cookie_jar.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <mutex>

#include "http/http_response.h"

namespace klv {
namespace {

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

bool IsDottedIpv4(const std::string& host) {
    int parts = 0;
    std::size_t start = 0;
    for (;;) {
        const std::size_t dot = host.find('.', start);
        const std::string part = host.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
        if (part.empty() || part.size() > 3 || part.find_first_not_of("0123456789") != std::string::npos) return false;
        if (std::stoi(part) > 255) return false;
        ++parts;
        if (dot == std::string::npos) break;
        start = dot + 1;
    }
    return parts == 4;
}

std::string Unquoted(const std::string& text) {
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') return text.substr(1, text.size() - 2);
    return text;
}

// Whether a host may set a cookie for `domain`: its own name, or its parent
// domain written with a leading dot.
bool HostMaySet(const std::string& host, const std::string& domain) {
    if (IsDottedIpv4(host)) return domain == host;
    if (domain.empty() || domain[0] != '.') return domain == host;
    const std::size_t dot = host.find('.');
    return dot != std::string::npos && host.substr(dot) == domain;
}

// Whether a cookie of `domain` goes to `host`: the domain itself, or a host
// below a dotted domain. A plain substring test would hand a cookie of
// "a.com" to "evil-a.com.example" too.
bool DomainMatches(const std::string& host, const std::string& domain) {
    const std::string h = Upper(host);
    const std::string d = Upper(domain);
    if (h == d) return true;
    if (!d.empty() && d[0] == '.') return h.size() > d.size() && h.compare(h.size() - d.size(), d.size(), d) == 0;
    return false;
}

bool ParseMaxAge(const std::string& text, std::int64_t now, std::int64_t& expiresAt) {
    std::int32_t seconds = 0;
    if (!ParseInt32(Trim(text), seconds)) return false;
    // Zero or less means "forget it now".
    expiresAt = seconds <= 0 ? now - 1 : now + seconds;
    return true;
}

std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? static_cast<unsigned>(-3) : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

}  // namespace

bool ParseCookieDate(const std::string& text, std::int64_t& secondsSince1970) {
    static const char* const kMonths[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                          "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
    int day = -1, month = -1, year = -1, hour = -1, minute = -1, second = -1;
    std::size_t i = 0;
    while (i < text.size()) {
        if (!std::isalnum(static_cast<unsigned char>(text[i])) && text[i] != ':') {
            ++i;
            continue;
        }
        std::size_t j = i;
        while (j < text.size() && (std::isalnum(static_cast<unsigned char>(text[j])) || text[j] == ':')) ++j;
        const std::string token = text.substr(i, j - i);
        i = j;
        if (token.find(':') != std::string::npos) {
            if (hour < 0 && std::sscanf(token.c_str(), "%2d:%2d:%2d", &hour, &minute, &second) != 3) hour = -1;
        } else if (std::isalpha(static_cast<unsigned char>(token[0]))) {
            const std::string key = Upper(token.substr(0, 3));
            for (int m = 0; m < 12; ++m)
                if (month < 0 && key == kMonths[m]) month = m + 1;
        } else if (token.find_first_not_of("0123456789") == std::string::npos && token.size() <= 4) {
            const int number = std::stoi(token);
            if (day < 0 && token.size() <= 2 && number >= 1 && number <= 31) {
                day = number;
            } else if (year < 0) {
                year = token.size() <= 2 ? (number < 70 ? 2000 + number : 1900 + number) : number;
            }
        }
    }
    if (day < 0 || month < 0 || year < 1601 || hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 ||
        second > 60)
        return false;
    secondsSince1970 = DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 86400 +
                       hour * 3600 + minute * 60 + second;
    return true;
}

CookieJar::CookieJar(Clock now) : now_(std::move(now)) {}

std::int64_t CookieJar::Now() const {
    if (now_) return now_();
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

void CookieJar::Offer(const std::string& setCookieValue, const std::string& host) {
    StoredCookie cookie;
    std::string expires, maxAge;
    bool hasDomain = false;
    std::size_t start = 0;
    bool first = true;
    while (start <= setCookieValue.size()) {
        std::size_t end = setCookieValue.find(';', start);
        if (end == std::string::npos) end = setCookieValue.size();
        const std::string part = Trim(setCookieValue.substr(start, end - start));
        start = end + 1;
        const std::size_t eq = part.find('=');
        const std::string name = part.substr(0, eq);
        const std::string value = eq == std::string::npos ? std::string() : part.substr(eq + 1);
        if (first) {
            cookie.name = name;
            cookie.value = value;
            first = false;
            continue;
        }
        const std::string key = Upper(Trim(name));
        if (key.empty()) continue;
        if (key == "PATH") {
            cookie.path = Unquoted(Trim(value));
        } else if (key == "DOMAIN") {
            cookie.domain = Trim(value);
            hasDomain = true;
        } else if (key == "SECURE") {
            cookie.secure = true;
        } else if (key == "EXPIRES") {
            expires = value;
        } else if (key == "MAX-AGE") {
            maxAge = value;
        } else {
            cookie.otherAttributes[key] = value;
        }
    }
    if (cookie.name.empty()) return;
    const std::int64_t now = Now();
    if (!expires.empty() && ParseCookieDate(expires, cookie.expiresAt)) {
        cookie.hasExpiry = true;
    } else if (!maxAge.empty() && ParseMaxAge(maxAge, now, cookie.expiresAt)) {
        cookie.hasExpiry = true;
    }
    if (!hasDomain || cookie.domain.empty()) cookie.domain = host;
    if (!HostMaySet(host, cookie.domain)) return;

    std::unique_lock<std::shared_mutex> guard(lock_);
    for (StoredCookie& stored : cookies_) {
        if (stored.name == cookie.name && stored.domain == cookie.domain) {
            stored = std::move(cookie);
            return;
        }
    }
    cookies_.push_back(std::move(cookie));
}

std::string CookieJar::CookieHeaderFor(const std::string& host, const std::string& path) {
    const std::int64_t now = Now();
    std::vector<const StoredCookie*> chosen;
    std::unique_lock<std::shared_mutex> guard(lock_);
    cookies_.erase(std::remove_if(cookies_.begin(), cookies_.end(),
                                  [now](const StoredCookie& c) { return c.hasExpiry && c.expiresAt <= now; }),
                   cookies_.end());
    for (const StoredCookie& c : cookies_) {
        if (c.value.empty() || c.secure || c.path.empty()) continue;
        if (path.compare(0, c.path.size(), c.path) != 0) continue;
        if (!DomainMatches(host, c.domain)) continue;
        chosen.push_back(&c);
    }
    // Longer, more specific paths first.
    std::stable_sort(chosen.begin(), chosen.end(),
                     [](const StoredCookie* a, const StoredCookie* b) { return Upper(a->path) > Upper(b->path); });
    std::string header;
    for (const StoredCookie* c : chosen) {
        if (!header.empty()) header += "; ";
        header += c->name + "=" + c->value;
    }
    return header;
}

std::vector<StoredCookie> CookieJar::Cookies() const {
    std::shared_lock<std::shared_mutex> guard(lock_);
    return cookies_;
}

}  // namespace klv
