// The transport against scripted loopback peers: each case pairs a canned
// answer with the exact request bytes expected, the body, the work events and
// the failure kind and message.
#include "server/http_client.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "support/scripted_peer.h"

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

std::string HostOf(const ScriptedPeer& peer) { return "127.0.0.1:" + std::to_string(peer.Port()); }

// Work events as text, e.g. "B100000 W32768 ... E".
struct EventLog {
    std::vector<std::string> events;
    void Hook(HttpClient& client) {
        client.OnWorkBegin = [this](HttpClient&, WorkMode mode, std::int32_t max) {
            events.push_back((mode == WorkMode::Read ? "B" : "b") + std::to_string(max));
        };
        client.OnWork = [this](HttpClient&, WorkMode, std::int32_t count) { events.push_back("W" + std::to_string(count)); };
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
    std::string body;        // expected sink contents (Ok) or error body (Protocol)
    std::string events;      // expected work events; "*" skips the check
    int status = 0;          // for Protocol
    std::string message = {};  // failure message; empty skips
};

std::string Repeat(char c, std::size_t n) { return std::string(n, c); }

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
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n2;x=y\r\nde\r\n0\r\n\r\n", true,
         Outcome::Ok, "abc", "*"},
        // "Chunked" in another case is not chunked: read until close.
        {"chunked_is_case_sensitive", "HTTP/1.1 200 OK\r\nTransfer-Encoding: Chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n",
         true, Outcome::Ok, "3\r\nabc\r\n0\r\n\r\n", "*"},
        // No length, no chunking: until close, count-max 0, short last block
        // without OnWork (the bytes came with the head, one piece).
        {"read_until_close", "HTTP/1.0 200 OK\r\n\r\nuntil the end", true, Outcome::Ok, "until the end", "*"},
        // Content-Length wins over chunking.
        {"length_before_chunked", "HTTP/1.1 200 OK\r\nContent-Length: 3\r\nTransfer-Encoding: chunked\r\n\r\nxyz",
         true, Outcome::Ok, "xyz", "B3 W3 E"},
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
        {"not_found_with_page", "HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nno page!!", true,
         Outcome::Protocol, "no page!!", "B9 W9 E", 404, "HTTP/1.1 404 Not Found"},
        // 304 is not a redirect but still a failure.
        {"not_modified", "HTTP/1.1 304 Not Modified\r\nContent-Length: 0\r\n\r\n", true, Outcome::Protocol, "", "",
         304, "HTTP/1.1 304 Not Modified"},
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

}  // namespace
}  // namespace klv
