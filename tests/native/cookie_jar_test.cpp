// The cookie store on its own, with a fixed clock, and the URL and request
// head helpers the transport builds its requests from.
#include "http/cookie_jar.h"

#include <gtest/gtest.h>

#include "http/http_request.h"
#include "http/http_url.h"

namespace klv {
namespace {

constexpr std::int64_t kNow = 1700000000;  // 2023-11-14

CookieJar JarAtNow() {
    return CookieJar([] { return kNow; });
}

struct AcceptCase {
    const char* setCookie;
    const char* host;
    bool stored;
    const char* why;
};

TEST(CookieJar, AcceptsOnlyCookiesForTheAnsweringHost) {
    const AcceptCase cases[] = {
        {"a=1; path=/", "www.example.com", true, "no domain: takes the host"},
        {"a=1; domain=www.example.com", "www.example.com", true, "exact domain"},
        {"a=1; domain=.example.com", "www.example.com", true, "parent domain with leading dot"},
        {"a=1; domain=other.com", "www.example.com", false, "another host must be dropped"},
        {"a=1; domain=example.com", "www.example.com", false, "parent without dot is not the host"},
        {"a=1; domain=WWW.example.com", "www.example.com", false, "exact means letter case too"},
        {"a=1; domain=.0.0.1", "127.0.0.1", false, "no parent domains for an IPv4 address"},
        {"a=1; domain=127.0.0.1", "127.0.0.1", true, "IPv4 exactly"},
        {"=1; path=/", "h", false, "a cookie needs a name"},
    };
    for (const AcceptCase& c : cases) {
        CookieJar jar = JarAtNow();
        jar.Offer(c.setCookie, c.host);
        EXPECT_EQ(jar.Cookies().size(), c.stored ? 1u : 0u) << c.why;
    }
}

TEST(CookieJar, SameNameAndDomainReplacesAnotherDomainAdds) {
    CookieJar jar = JarAtNow();
    jar.Offer("k=1; path=/", "www.example.com");
    jar.Offer("k=2; path=/", "www.example.com");
    jar.Offer("k=3; path=/; domain=.example.com", "www.example.com");
    const auto cookies = jar.Cookies();
    ASSERT_EQ(cookies.size(), 2u);
    EXPECT_EQ(cookies[0].value, "2");
    EXPECT_EQ(cookies[1].domain, ".example.com");
}

TEST(CookieJar, HeaderRules) {
    CookieJar jar = JarAtNow();
    jar.Offer("root=r; path=/", "www.example.com");
    jar.Offer("deep=d; path=\"/A/b/\"", "www.example.com");
    jar.Offer("nopath=n", "www.example.com");               // never sent
    jar.Offer("empty=; path=/", "www.example.com");         // empty value: not sent
    jar.Offer("sec=s; path=/; secure", "www.example.com");  // connections are never secure
    jar.Offer("parent=p; path=/; domain=.example.com", "www.example.com");
    jar.Offer("gone=g; path=/; expires=Sun, 06 Nov 1994 08:49:37 GMT", "www.example.com");
    jar.Offer("aged=a; path=/; max-age=0", "www.example.com");
    jar.Offer("later=l; path=/; max-age=3600", "www.example.com");
    // Longest path first; the others in their order of arrival.
    EXPECT_EQ(jar.CookieHeaderFor("www.example.com", "/A/b/"), "deep=d; root=r; parent=p; later=l");
    EXPECT_EQ(jar.CookieHeaderFor("www.example.com", "/A/"), "root=r; parent=p; later=l");
    EXPECT_EQ(jar.CookieHeaderFor("img.example.com", "/"), "parent=p");
    // A host that merely contains the domain text is another host.
    EXPECT_EQ(jar.CookieHeaderFor("www.example.com.evil.net", "/"), "");
    // Expired cookies are removed from the jar, not only skipped.
    for (const StoredCookie& c : jar.Cookies()) {
        EXPECT_NE(c.name, "gone");
        EXPECT_NE(c.name, "aged");
    }
}

TEST(CookieJar, CookieDates) {
    std::int64_t t = 0;
    ASSERT_TRUE(ParseCookieDate("Sun, 06 Nov 1994 08:49:37 GMT", t));
    EXPECT_EQ(t, 784111777);
    ASSERT_TRUE(ParseCookieDate("Sunday, 06-Nov-94 08:49:37 GMT", t));
    EXPECT_EQ(t, 784111777);
    ASSERT_TRUE(ParseCookieDate("Sun Nov  6 08:49:37 1994", t));
    EXPECT_EQ(t, 784111777);
    EXPECT_FALSE(ParseCookieDate("soon", t));
}

TEST(HttpUrl, Parts) {
    struct Row {
        const char* url;
        const char* host;
        const char* port;
        const char* path;
        const char* document;
        const char* params;
    };
    const Row rows[] = {
        // The update server's request form.
        {"http://localhost:9988/0A1B2C3D", "localhost", "9988", "/", "0A1B2C3D", ""},
        {"http://u:p@h/a/b/c.txt?x=1#frag", "h", "", "/a/b/", "c.txt", "?x=1"},
        // "=" starts the parameters when there is no "?".
        {"http://h/a/b=c/d", "h", "", "/a/", "b", "=c/d"},
        // Backslashes become slashes.
        {"http://h\\a\\b", "h", "", "/a/", "b", ""},
        {"http://h/doc#x?y", "h", "", "/", "doc", ""},
        {"http://h", "h", "", "/", "", ""},
    };
    for (const Row& r : rows) {
        const UrlParts p = ParseUrl(r.url);
        EXPECT_EQ(p.host, r.host) << r.url;
        EXPECT_EQ(p.port, r.port) << r.url;
        EXPECT_EQ(p.path, r.path) << r.url;
        EXPECT_EQ(p.document, r.document) << r.url;
        EXPECT_EQ(p.params, r.params) << r.url;
    }
}

TEST(HttpUrl, BackslashAsTrailByteStays) {
    // 0x95 0x5C is one double-byte character of code page 936.
    EXPECT_EQ(SlashesFromBackslashes("a\\\x95\\b\\"), "a/\x95\\b/");
}

TEST(HttpUrl, RelativePathsResolve) {
    EXPECT_EQ(ResolvePath("/a/b/", "c/"), "/a/b/c/");
    EXPECT_EQ(ResolvePath("/a/b/", "../c/./"), "/a/c/");
    EXPECT_EQ(ResolvePath("/a/b/", "/x/"), "/x/");
}

TEST(HttpRequestHead, FoldsOnlyLinesOverTheWidth) {
    const std::string shortCookie = "a=1; b=2";
    EXPECT_EQ(FoldedHeaderLine("Cookie", shortCookie), "Cookie: a=1; b=2\r\n");
    std::string longValue;
    for (int i = 0; i < 300; ++i) longValue += "k" + std::to_string(i) + "=v; ";
    longValue.resize(longValue.size() - 2);
    const std::string folded = FoldedHeaderLine("Cookie", longValue);
    std::string joined;
    std::size_t start = 0;
    for (std::size_t end; (end = folded.find("\r\n", start)) != std::string::npos; start = end + 2) {
        const std::string line = folded.substr(start, end - start);
        EXPECT_LE(line.size(), kMaxHeaderLineWidth);
        if (start > 0) {
            ASSERT_EQ(line[0], ' ');
        }
        joined += start > 0 ? line : line;
    }
    EXPECT_GT(start, 1100u);
    EXPECT_EQ(BasicAuthorization("", ""), "Basic Og==");
    EXPECT_EQ(BasicAuthorization("Aladdin", "open sesame"), "Basic QWxhZGRpbjpvcGVuIHNlc2FtZQ==");
}

}  // namespace
}  // namespace klv
