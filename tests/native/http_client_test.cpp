// The transport against scripted loopback peers: each case pairs a canned
// answer with the exact request bytes expected, the body, the work events and
// the failure kind and message.
#include "http/http_client.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>
#include <string>
#include <vector>

#include "platform/error.h"
#include "http/memory_stream.h"
#include "protocol/update_request.h"
#include "support/allocation_cap.h"
#include "support/scripted_peer.h"
#include "sync/update_client.h"

namespace klv {
namespace {

using test::AwaitClose;
using test::CloseNow;
using test::Pause;
using test::PeerAction;
using test::ReadRequest;
using test::ScriptedPeer;
using test::Send;

// The request head of an ordinary GET, byte for byte.
std::string RequestFor(const std::string& target, const std::string& host, const std::string& extra = "") {
    return "GET " + target + " HTTP/1.1\r\nContent-Type: text/html\r\nHost: " + host +
           "\r\nAccept: text/html, */*\r\nUser-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n" + extra + "\r\n";
}

std::string HostOf(const ScriptedPeer& peer) {
    return "127.0.0.1:" + std::to_string(peer.Port());
}

// Work events as text, e.g. "B100000 W32768 ... E".
struct EventLog {
    std::vector<std::string> events;
    void Hook(HttpClient& client) {
        client.OnWorkBegin = [this](HttpClient&, WorkMode mode, std::int32_t max) {
            events.push_back((mode == WorkMode::Read ? "B" : "b") + std::to_string(max));
        };
        client.OnWork = [this](HttpClient&, WorkMode, std::int32_t count) {
            events.push_back("W" + std::to_string(count));
        };
        client.OnWorkEnd = [this](HttpClient&, WorkMode) { events.push_back("E"); };
    }
    std::string Text() const {
        std::string out;
        for (const std::string& e : events) out += (out.empty() ? "" : " ") + e;
        return out;
    }
};

enum class Outcome { Ok, Protocol, Undefined, MaxLine, Timeout, Closed };

struct ExchangeCase {
    const char* name;    // what fault the row catches
    std::string answer;  // canned bytes after the request
    bool closeAfter;     // the peer closes after sending
    Outcome outcome;
    std::string body;          // expected sink contents (Ok) or error body (Protocol)
    std::string events;        // expected work events; "*" skips the check
    int status = 0;            // for Protocol
    std::string message = {};  // failure message; empty skips
};

std::string Repeat(char c, std::size_t n) {
    return std::string(n, c);
}

std::string Patterned(std::size_t n) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + (i * 7 + i / 251) % 26);
    return s;
}

std::vector<ExchangeCase> ExchangeCases() {
    const std::string big = Patterned(100000);
    return {
        // Plain Content-Length body; one piece with the head.
        {"content_length_small", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello", true, Outcome::Ok, "hello",
         "B5 W5 E"},
        // An empty body must raise no work events at all (the progress bar
        // would divide by a count-max of 0).
        {"content_length_zero", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", false, Outcome::Ok, "", ""},
        // Chunked 10 + 5: two work periods, each restarting the count.
        {"chunked_10_5",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nA\r\n0123456789\r\n5\r\nabcde\r\n0\r\n\r\n", false,
         Outcome::Ok, "0123456789abcde", "B10 W10 E B5 W5 E"},
        // A chunk-size line with an extension is not hexadecimal: it ends the body.
        {"chunk_extension_counts_as_zero",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n2;x=y\r\nde\r\n0\r\n\r\n", true, Outcome::Ok,
         "abc", "*"},
        // "Chunked" in another case is not chunked: read until close.
        {"chunked_is_case_sensitive", "HTTP/1.1 200 OK\r\nTransfer-Encoding: Chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n",
         true, Outcome::Ok, "3\r\nabc\r\n0\r\n\r\n", "*"},
        // No length, no chunking: until close, count-max 0, short last block
        // without OnWork (the bytes came with the head, one piece).
        {"read_until_close", "HTTP/1.0 200 OK\r\n\r\nuntil the end", true, Outcome::Ok, "until the end", "*"},
        // Content-Length wins over chunking.
        {"length_before_chunked", "HTTP/1.1 200 OK\r\nContent-Length: 3\r\nTransfer-Encoding: chunked\r\n\r\nxyz", true,
         Outcome::Ok, "xyz", "B3 W3 E"},
        // 100 Continue heads are skipped.
        {"continue_then_200", "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok", true,
         Outcome::Ok, "ok", "B2 W2 E"},
        // 204 has no body even with bytes after the head.
        {"no_content", "HTTP/1.1 204 No Content\r\n\r\n", false, Outcome::Ok, "", ""},
        // Continuation lines join the Content-Length value? No: first line only counts; the value is "4".
        {"first_occurrence_wins", "HTTP/1.1 200 OK\r\nContent-Length: 4\r\nContent-Length: 9\r\n\r\nabcd", true,
         Outcome::Ok, "abcd", "B4 W4 E"},
        // Redirects are not followed and fail with the status line.
        {"moved_301", "HTTP/1.1 301 Moved Permanently\r\nLocation: /elsewhere\r\nContent-Length: 3\r\n\r\nabc", true,
         Outcome::Protocol, "", "*", 301, "HTTP/1.1 301 Moved Permanently"},
        {"found_302", "HTTP/1.1 302 Found\r\nLocation: http://127.0.0.1:1/x\r\nContent-Length: 0\r\n\r\n", true,
         Outcome::Protocol, "", "", 302, "HTTP/1.1 302 Found"},
        // A Location header turns even a 200 into a refused redirect.
        {"ok_with_location", "HTTP/1.1 200 OK\r\nLocation: /x\r\nContent-Length: 2\r\n\r\nhi", true, Outcome::Protocol,
         "", "*", 200, "HTTP/1.1 200 OK"},
        // 404 carries status, status line and the page; its body raises work events first.
        {"not_found_with_page", "HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nno page!!", true, Outcome::Protocol,
         "no page!!", "B9 W9 E", 404, "HTTP/1.1 404 Not Found"},
        // 304 is not a redirect but still a failure.
        {"not_modified", "HTTP/1.1 304 Not Modified\r\nContent-Length: 0\r\n\r\n", true, Outcome::Protocol, "", "", 304,
         "HTTP/1.1 304 Not Modified"},
        // Letters in place of the status code: -1, a failure.
        {"status_not_a_number", "HTTP/1.1 OK fine\r\nContent-Length: 0\r\n\r\n", true, Outcome::Protocol, "", "", -1,
         "HTTP/1.1 OK fine"},
        // Head cut before its empty line: never a success with a half head.
        {"head_cut_short", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n", true, Outcome::Undefined, "", "", 0,
         "Undefined situation"},
        // Nothing at all before the close.
        {"closed_before_status", "", true, Outcome::Closed, "", "", 0, "Connection Closed Gracefully."},
        // 16383 bytes + CR = 16384 before LF: accepted.
        {"header_line_16383", "HTTP/1.1 200 OK\r\nX: " + Repeat('a', 16380) + "\r\nContent-Length: 1\r\n\r\nz", true,
         Outcome::Ok, "z", "B1 W1 E"},
        // 16384 + CR: the CR counts, so it fails.
        {"header_line_16384", "HTTP/1.1 200 OK\r\nX: " + Repeat('a', 16381) + "\r\nContent-Length: 1\r\n\r\nz", true,
         Outcome::MaxLine, "", "", 0, "Max line length exceeded."},
        // A line that never ends must fail, not grow the buffer forever.
        {"endless_line", "HTTP/1.1 200 OK\r\nX: " + Repeat('a', 40000), false, Outcome::MaxLine, "", "", 0,
         "Max line length exceeded."},
        // Large body: OnWorkBegin(100000), last OnWork 100000.
        {"large_body", "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + big, true, Outcome::Ok, big, "*"},
    };
}

class Exchange : public testing::TestWithParam<ExchangeCase> {};

TEST_P(Exchange, AnswerGivesBodyEventsOrFailure) {
    const ExchangeCase& c = GetParam();
    std::vector<PeerAction> script = {ReadRequest(), Send(c.answer)};
    if (c.closeAfter) script.push_back(CloseNow());
    ScriptedPeer peer({script});
    EventLog log;
    HttpClient client;
    client.SetReadTimeoutMs(5000);
    log.Hook(client);
    MemoryStream sink;
    Outcome got = Outcome::Ok;
    std::string message;
    int status = 0;
    std::string errorBody;
    try {
        client.Get(peer.Url("/doc?x=1"), sink);
    } catch (const EIdHTTPProtocolException& e) {
        got = Outcome::Protocol;
        message = e.what();
        status = e.ErrorCode();
        errorBody = e.ErrorMessage();
    } catch (const EIdReadLnMaxLineLengthExceeded& e) {
        got = Outcome::MaxLine;
        message = e.what();
    } catch (const EIdReadTimeout& e) {
        got = Outcome::Timeout;
        message = e.what();
    } catch (const EIdConnClosedGracefully& e) {
        got = Outcome::Closed;
        message = e.what();
    } catch (const EIdException& e) {
        got = Outcome::Undefined;
        message = e.what();
    }
    EXPECT_EQ(static_cast<int>(got), static_cast<int>(c.outcome)) << message;
    if (!c.message.empty()) {
        EXPECT_EQ(message, c.message);
    }
    if (c.outcome == Outcome::Ok) {
        EXPECT_EQ(sink.Data(), c.body);
        EXPECT_EQ(sink.Position(), c.body.size());
    } else {
        // A failing answer writes nothing into the caller's sink.
        EXPECT_EQ(sink.Size(), 0u);
    }
    if (c.outcome == Outcome::Protocol) {
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(errorBody, c.body);
    }
    if (c.events != "*") {
        EXPECT_EQ(log.Text(), c.events);
    }
    ASSERT_GE(peer.Connections(), 1);
    EXPECT_EQ(peer.Received()[0], RequestFor("/doc?x=1", HostOf(peer)));
}

INSTANTIATE_TEST_SUITE_P(Table, Exchange, testing::ValuesIn(ExchangeCases()),
                         [](const testing::TestParamInfo<ExchangeCase>& row) { return std::string(row.param.name); });

// Work events of a large counted body: begin with the length, cumulative
// counts, the last one equal to the length.
TEST(HttpWork, LargeBodyCountsUpToItsLength) {
    const std::string big = Patterned(100000);
    ScriptedPeer peer(
        {{ReadRequest(), Send("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n"), Pause(50), Send(big)}});
    HttpClient client;
    std::vector<std::int32_t> counts;
    std::vector<std::int32_t> begins;
    int ends = 0;
    client.OnWorkBegin = [&](HttpClient& sender, WorkMode mode, std::int32_t max) {
        EXPECT_EQ(&sender, &client);
        EXPECT_EQ(mode, WorkMode::Read);
        begins.push_back(max);
    };
    client.OnWork = [&](HttpClient&, WorkMode, std::int32_t count) { counts.push_back(count); };
    client.OnWorkEnd = [&](HttpClient&, WorkMode) { ++ends; };
    EXPECT_EQ(client.Get(peer.Url("/big")), big);
    EXPECT_EQ(begins, std::vector<std::int32_t>{100000});
    ASSERT_FALSE(counts.empty());
    EXPECT_EQ(counts.back(), 100000);
    for (std::size_t i = 1; i < counts.size(); ++i) {
        EXPECT_GT(counts[i], counts[i - 1]);
        EXPECT_LE(counts[i] - counts[i - 1], 32768);  // no block larger than the receive buffer
    }
    EXPECT_EQ(ends, 1);
}

TEST(HttpWork, EarlyCloseKeepsOnlyFullBlocks) {
    // 80000 announced; the head comes alone, then 40000 bytes and a close:
    // one full 32768 block is kept, the 7232 bytes of the cut block are not.
    const std::string part = Patterned(40000);
    ScriptedPeer peer({{ReadRequest(), Send("HTTP/1.1 200 OK\r\nContent-Length: 80000\r\n\r\n"), Pause(100), Send(part),
                        Pause(100), CloseNow()}});
    HttpClient client;
    MemoryStream sink;
    sink.Write("pre", 3);
    client.Get(peer.Url("/"), sink);
    EXPECT_EQ(sink.Size(), 3u + 32768u);
    EXPECT_EQ(sink.Position(), sink.Size());
    EXPECT_EQ(sink.Data().substr(3), part.substr(0, 32768));
}

TEST(HttpWork, ReadUntilCloseBeginsWithZeroAndSkipsTheLastShortBlock) {
    const std::string body = Patterned(70000);
    ScriptedPeer peer(
        {{ReadRequest(), Send("HTTP/1.1 200 OK\r\n\r\n"), Pause(100), Send(body), Pause(100), CloseNow()}});
    HttpClient client;
    EventLog log;
    log.Hook(client);
    EXPECT_EQ(client.Get(peer.Url("/")), body);
    // Two full blocks counted; the last 4464 bytes go in without an event.
    EXPECT_EQ(log.Text(), "B0 W32768 W65536 E");
}

// The client over several requests: connection reuse, reconnects, state
// carried from request to request.
TEST(HttpConnection, KeepAliveReusesTheConnection) {
    ScriptedPeer peer({{ReadRequest(), Send("HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\na"), ReadRequest(),
                        Send("HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\nb")}});
    HttpClient client;
    EXPECT_EQ(client.Get(peer.Url("/one")), "a");
    EXPECT_EQ(client.Get(peer.Url("/two")), "b");
    ASSERT_EQ(peer.Connections(), 1);
    EXPECT_EQ(peer.Received()[0], RequestFor("/one", HostOf(peer)) + RequestFor("/two", HostOf(peer)));
}

TEST(HttpConnection, ConnectionCloseInAnyCaseEndsIt) {
    ScriptedPeer peer(
        {{ReadRequest(), Send("HTTP/1.1 200 OK\r\nConnection:  Close \r\nContent-Length: 1\r\n\r\na"), AwaitClose()},
         {ReadRequest(), Send("HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\nb")}});
    HttpClient client;
    EXPECT_EQ(client.Get(peer.Url("/one")), "a");
    EXPECT_EQ(client.Get(peer.Url("/two")), "b");
    EXPECT_EQ(peer.Connections(), 2);
}

TEST(HttpConnection, StaleKeptConnectionIsReplaced) {
    // The server drops the idle connection; the next Get must not fail on it.
    ScriptedPeer peer({{ReadRequest(), Send("HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\na"), CloseNow()},
                       {ReadRequest(), Send("HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\nb")}});
    HttpClient client;
    EXPECT_EQ(client.Get(peer.Url("/one")), "a");
    for (int i = 0; i < 200 && peer.Connections() < 1; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // let the close arrive
    EXPECT_EQ(client.Get(peer.Url("/two")), "b");
    EXPECT_EQ(peer.Connections(), 2);
}

TEST(HttpConnection, AnotherPortReconnectsAndPortIsInherited) {
    ScriptedPeer first({{ReadRequest(), Send("HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\na"), AwaitClose()}});
    ScriptedPeer second({{ReadRequest(), Send("HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\nb"), ReadRequest(),
                          Send("HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\nc")}});
    HttpClient client;
    EXPECT_EQ(client.Get(first.Url("/")), "a");
    EXPECT_EQ(client.Get(second.Url("/")), "b");
    // No port in the URL: the previous one (not 80) is kept.
    EXPECT_EQ(client.Get("http://127.0.0.1/again"), "c");
    first.WaitUntilDone();  // the first connection was closed by the client
    EXPECT_EQ(second.Received()[0], RequestFor("/", HostOf(second)) + RequestFor("/again", HostOf(second)));
}

TEST(HttpConnection, LocalhostNeedsNoLookupAndHostKeepsItsPort) {
    ScriptedPeer peer({{ReadRequest(), Send("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok")}});
    HttpClient client;
    const std::string url = "http://LocalHost:" + std::to_string(peer.Port()) + "/0A1B2C";
    EXPECT_EQ(client.Get(url), "ok");
    EXPECT_EQ(peer.Received()[0], RequestFor("/0A1B2C", "LocalHost:" + std::to_string(peer.Port())));
}

TEST(HttpConnection, BasicAuthorizationFollowsA401OfferingBasic) {
    ScriptedPeer peer(
        {{ReadRequest(),
          Send("HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"x\"\r\nContent-Length: 4\r\n\r\n"
               "deny"),
          ReadRequest(), Send("HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\ny")}});
    HttpClient client;
    try {
        client.Get(peer.Url("/a"));
        FAIL() << "401 must fail";
    } catch (const EIdHTTPProtocolException& e) {
        EXPECT_EQ(e.ErrorCode(), 401);
        EXPECT_EQ(e.ErrorMessage(), "deny");
    }
    EXPECT_EQ(client.Get(peer.Url("/b")), "y");
    EXPECT_EQ(peer.Received()[0],
              RequestFor("/a", HostOf(peer)) + RequestFor("/b", HostOf(peer), "Authorization: Basic Og==\r\n"));
}

TEST(HttpConnection, HttpsIsRefusedBeforeAnythingIsSent) {
    ScriptedPeer peer({});
    HttpClient client;
    try {
        client.Get("https://127.0.0.1:" + std::to_string(peer.Port()) + "/");
        FAIL();
    } catch (const EIdException& e) {
        EXPECT_STREQ(e.what(), "IOHandler value is not valid");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(peer.Connections(), 0);
}

TEST(HttpConnection, OtherSchemeWithoutPortIsUnknown) {
    HttpClient client;
    EXPECT_THROW(client.Get("ftp://127.0.0.1/x"), EIdUnknownProtocol);
}

TEST(HttpConnection, RefusedConnectIsASocketError) {
    HttpClient client;
    try {
        client.Get("http://127.0.0.1:" + std::to_string(test::UnusedLoopbackPort()) + "/");
        FAIL();
    } catch (const EIdSocketError& e) {
        EXPECT_EQ(e.LastError(), 10061);
        EXPECT_STREQ(e.what(), "Socket Error # 10061\r\nConnection refused.");
    }
}

TEST(HttpConnection, SilentServerEndsInReadTimeoutAndTheNextGetReconnects) {
    ScriptedPeer peer({{ReadRequest(), Send("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc"), AwaitClose()},
                       {ReadRequest(), Send("HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\nz")}});
    HttpClient client;
    client.SetReadTimeoutMs(300);
    MemoryStream sink;
    EXPECT_THROW(client.Get(peer.Url("/"), sink), EIdReadTimeout);
    // Bytes written before the failure stay in the sink.
    EXPECT_EQ(sink.Data().substr(0, 3), "abc");
    EXPECT_EQ(client.Get(peer.Url("/")), "z");
    EXPECT_EQ(peer.Connections(), 2);
}

TEST(HttpConnection, ErrorBodyOfASilentServerTimesOut) {
    // The failing answer's body is read under its own limit of 2 s.
    ScriptedPeer peer({{ReadRequest(), Send("HTTP/1.1 500 Oops\r\nContent-Length: 10\r\n\r\nab"), AwaitClose()}});
    HttpClient client;
    EXPECT_THROW(client.Get(peer.Url("/")), EIdReadTimeout);
}

TEST(HttpCookies, SetCookieIsSentBackAsTheLastHeaderLine) {
    ScriptedPeer peer(
        {{ReadRequest(),
          Send("HTTP/1.1 200 OK\r\nSet-Cookie: sid=1; path=/\r\nSet-Cookie: nopath=2\r\n"
               "Set-Cookie: other=3; path=/; domain=example.com\r\nContent-Length: 0\r\n\r\n"),
          ReadRequest(),
          Send("HTTP/1.1 200 OK\r\nSet-Cookie: sid=9; path=/\r\n"
               "Set-Cookie: old=x; path=/; expires=Sun, 06 Nov 1994 08:49:37 GMT\r\nContent-Length: 0\r\n\r\n"),
          ReadRequest(), Send("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n")}});
    HttpClient client;
    client.Get(peer.Url("/a"));
    client.Get(peer.Url("/b"));
    client.Get(peer.Url("/c"));
    EXPECT_EQ(peer.Received()[0], RequestFor("/a", HostOf(peer)) + RequestFor("/b", HostOf(peer), "Cookie: sid=1\r\n") +
                                      RequestFor("/c", HostOf(peer), "Cookie: sid=9\r\n"));
}

TEST(HttpMemory, ABufferThatCannotBeHadFailsTheCallAsATransportFailure) {
    // An in-memory sink is grown to the announced length; that allocation
    // failing used to escape as std::bad_alloc, which no caller counts as a
    // failed request. It is the memory stream's failure, the connection goes
    // with it, and the next call on the same client works.
    const std::string huge = "HTTP/1.1 200 OK\r\nContent-Length: 500000000\r\n\r\nshort";
    ScriptedPeer peer({{ReadRequest(), Send(huge), AwaitClose()},
                       {ReadRequest(), Send(huge), AwaitClose()},
                       {ReadRequest(), Send("HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nfine")}});
    HttpClient client;
    {
        test::AllocationCap cap(256u << 20);
        MemoryStream sink;
        try {
            client.Get(peer.Url("/x"), sink);
            ADD_FAILURE() << "the call did not fail";
        } catch (const EOutOfMemory& e) {
            EXPECT_STREQ(e.what(), "Out of memory while expanding memory stream");
        }
        EXPECT_EQ(cap.Refused(), 1u);
        // The self-contained check reads its answer into memory too: false.
        const std::string saved = ServerBaseUrl();
        SetServerBaseUrl(peer.Url("/"));
        EXPECT_FALSE(CheckFileUpdate("Kesto.exe", "1.0.12.15"));
        SetServerBaseUrl(saved);
        EXPECT_EQ(cap.Refused(), 2u);
    }
    EXPECT_EQ(client.Get(peer.Url("/y")), "fine");
    EXPECT_EQ(peer.Connections(), 3);
}

}  // namespace
}  // namespace klv
