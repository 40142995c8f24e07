// Any Set-Cookie and Set-Cookie2 values, as a server may send them, into the
// cookie jar of a client object; then the Cookie header of later requests.
// The jar must keep one cookie per name and domain, never hand a cookie to a
// host that could not have set it, and never send an empty value, a secure
// cookie or one that has expired. Expiry dates go through ParseCookieDate.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <utility>

#include "fuzz_check.h"
#include "http/cookie_jar.h"

namespace {

constexpr std::int64_t kNow = 1700000000;  // November 2023

const char* const kHosts[] = {"www.example.com", "example.com", "127.0.0.1", "localhost", "a.b.example.com"};
const char* const kPaths[] = {"/", "/a/", "/a/b/", "/A/", ""};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    klv::CookieJar jar([] { return kNow; });
    std::set<std::string> offeredNames;
    while (input.remaining_bytes() > 0) {
        const char* host = kHosts[input.ConsumeIntegralInRange<std::size_t>(0, std::size(kHosts) - 1)];
        // A header line's value: the transport splits the head at LF, so
        // no value it offers holds one.
        std::string value = input.ConsumeRandomLengthString(512);
        value.erase(std::remove(value.begin(), value.end(), '\n'), value.end());
        jar.Offer(value, host);
        std::int64_t when = 0;
        klv::ParseCookieDate(value, when);
    }
    // One cookie per name and domain, whatever was offered. Checked once the
    // offers are over: a fault after any one offer is found by the input
    // that ends there, and checking after each made the target quadratic.
    std::set<std::pair<std::string, std::string>> identities;
    for (const klv::StoredCookie& cookie : jar.Cookies()) {
        KLV_FUZZ_CHECK(!cookie.name.empty());
        KLV_FUZZ_CHECK(identities.insert({cookie.name, cookie.domain}).second);
    }
    for (const char* host : kHosts) {
        for (const char* path : kPaths) {
            const std::string header = jar.CookieHeaderFor(host, path);
            if (header.empty()) continue;
            // Every cookie sent was stored for a domain that matches the host,
            // with a path that leads the request's, and is neither secure nor
            // expired nor empty.
            std::size_t sent = 0;
            for (const klv::StoredCookie& cookie : jar.Cookies()) {
                if (cookie.value.empty() || cookie.secure || cookie.path.empty()) continue;
                if (cookie.hasExpiry && cookie.expiresAt <= kNow) continue;
                if (std::string(path).compare(0, cookie.path.size(), cookie.path) != 0) continue;
                const std::string pair = cookie.name + "=" + cookie.value;
                if (header.find(pair) != std::string::npos) ++sent;
            }
            KLV_FUZZ_CHECK(sent > 0);
        }
    }
    // Expired cookies are gone once a header has been built.
    for (const klv::StoredCookie& cookie : jar.Cookies()) KLV_FUZZ_CHECK(!cookie.hasExpiry || cookie.expiresAt > kNow);
    return 0;
}
