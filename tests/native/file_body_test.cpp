// GetAFile answer bodies: what the update server encodes, the launcher
// decodes to the same bytes; and every way a body from the network can be
// short, forged or damaged.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <random>

#include "platform/error.h"
#include "protocol/file_body.h"
#include "support/file_body.h"
#include "support/file_body_decoder.h"

namespace klv {
namespace {

using test::FileBody;
using test::LengthField;
using test::ZlibStream;

enum class Outcome { Content, ReadError, InflateError, OutOfMemory };

struct Decoded {
    Outcome outcome = Outcome::Content;
    std::string text;  // content or failure message
};

Decoded RunDecode(const std::string& body) {
    MemoryStream buffer;
    buffer.Write(body.data(), body.size());
    try {
        DecodeFileBody(&buffer);
        return {Outcome::Content, buffer.Data()};
    } catch (const EReadError& e) {
        return {Outcome::ReadError, e.what()};
    } catch (const EOutOfMemory& e) {
        return {Outcome::OutOfMemory, e.what()};
    } catch (const Error& e) {
        return {Outcome::InflateError, e.what()};
    }
}

std::string Mixed(std::size_t size) {
    // Half text (compresses well), half noise (does not): both inflate paths.
    std::string text;
    std::mt19937 random(11);
    while (text.size() < size) {
        if ((text.size() / 4096) % 2)
            text += static_cast<char>(random());
        else
            text += "KLV package line " + std::to_string(text.size()) + "\r\n";
    }
    text.resize(size);
    return text;
}

// The server's encoder against the launcher's decoder, both as they ship:
// a change to either side of the format fails here.
TEST(FileBodyFormat, EncodedContentDecodesToTheSameBytes) {
    std::string noise(1 << 20, '\0');
    std::mt19937 random(7);
    for (char& c : noise) c = static_cast<char>(random());
    const struct {
        const char* what;
        std::string content;
    } cases[] = {
        {"empty file: the 0-byte body", ""},
        {"one byte", "x"},
        {"double-byte text with 0x5C trail bytes and NULs", std::string("\x95\x5C\xB1\xED\0\r\n", 7)},
        {"noise that does not compress", noise},
        {"several MiB, text and noise", Mixed(5 << 20)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string body = EncodeFileBody(c.content);
        if (c.content.empty()) {
            EXPECT_TRUE(body.empty());
        } else {
            EXPECT_EQ(body.substr(0, 4), LengthField(static_cast<std::uint32_t>(c.content.size())));
        }
        // Whole, and in slices that split the length field and cross the
        // inflater's output window.
        for (const std::size_t slice : {body.size() + 1, std::size_t{3}, std::size_t{65537}}) {
            std::string out;
            FileBodyInflater inflater([&out](const char* bytes, std::size_t count) { out.append(bytes, count); });
            for (std::size_t at = 0; at < body.size(); at += slice)
                inflater.Feed(body.data() + at, std::min(slice, body.size() - at));
            inflater.Finish();
            EXPECT_TRUE(out == c.content) << "slice " << slice;
        }
    }
}

TEST(DecodeFileBody, TableOfBodies) {
    const std::string hello = "hello, package";
    const std::string stream = ZlibStream(hello);
    const std::string bigStream = ZlibStream(Mixed(20000));
    std::string damaged = stream;
    damaged[damaged.size() / 2] = static_cast<char>(damaged[damaged.size() / 2] ^ 0x55);
    std::string badCheck = stream;
    badCheck.back() = static_cast<char>(badCheck.back() ^ 1);
    struct Case {
        const char* what;
        std::string body;
        Outcome outcome;
        std::string text;
    } cases[] = {
        // An empty body is an empty file, not a read past the end.
        {"0 bytes", "", Outcome::Content, ""},
        // 1 to 3 bytes cannot hold the length: a stream read error, not garbage L.
        {"1 byte", "\x05", Outcome::ReadError, "Stream read error"},
        {"3 bytes", std::string("\x05\0\0", 3), Outcome::ReadError, "Stream read error"},
        // Exactly the length and no stream: L = 0 is an empty file...
        {"4 bytes, L=0", LengthField(0), Outcome::Content, ""},
        // ...but L > 0 with nothing to inflate must not yield L zero bytes.
        {"4 bytes, L=5", LengthField(5), Outcome::InflateError, "Error"},
        // L = 0 ignores whatever follows, even bytes that are no zlib stream.
        {"L=0, junk after", LengthField(0) + "not zlib at all", Outcome::Content, ""},
        {"L=0, stream after", LengthField(0) + stream, Outcome::Content, ""},
        // L smaller than the inflated size: the content is cut to L.
        {"L < inflated", LengthField(5) + stream, Outcome::Content, "hello"},
        // Bytes after the end of the stream are ignored.
        {"trailing bytes", FileBody(hello) + "trailer", Outcome::Content, hello},
        // A stream that inflates to fewer than L bytes is a cut-short download.
        {"L > inflated", LengthField(100) + stream, Outcome::InflateError, "Error"},
        {"short stream", LengthField(20000) + bigStream.substr(0, bigStream.size() / 2), Outcome::InflateError,
         "Error"},
        // Inflation stops once L bytes are out: a stream cut only inside its
        // Adler-32 check has delivered the whole content.
        {"check value cut", LengthField(14) + stream.substr(0, stream.size() - 4), Outcome::Content, hello},
        {"header only", LengthField(14) + stream.substr(0, 2), Outcome::InflateError, "Error"},
        // Damage anywhere: header, data, check value.
        {"bad header", LengthField(14) + "\x00\x00" + stream.substr(2), Outcome::InflateError, "Error"},
        {"damaged data", LengthField(14) + damaged, Outcome::InflateError, "Error"},
        {"bad Adler-32", LengthField(14) + badCheck, Outcome::InflateError, "Error"},
        // A length with the top bit set can never be honoured.
        {"L=0x80000000", LengthField(0x80000000u) + stream, Outcome::OutOfMemory,
         "Out of memory while expanding memory stream"},
        {"L=0xFFFFFFFF", LengthField(0xFFFFFFFFu), Outcome::OutOfMemory, "Out of memory while expanding memory stream"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Decoded decoded = RunDecode(c.body);
        EXPECT_EQ(static_cast<int>(decoded.outcome), static_cast<int>(c.outcome));
        EXPECT_EQ(decoded.text, c.text);
    }
}

TEST(DecodeFileBody, MissingBufferIsLeftAlone) {
    EXPECT_NO_THROW(DecodeFileBody(nullptr));
}

TEST(DecodeFileBody, FailureLeavesTheBufferAsItWas) {
    const std::string body = LengthField(100) + ZlibStream("short");
    MemoryStream buffer;
    buffer.Write(body.data(), body.size());
    EXPECT_THROW(DecodeFileBody(&buffer), Error);
    EXPECT_EQ(buffer.Data(), body);
}

TEST(DecodeFileBody, LargeContentRoundTrips) {
    const std::string content = Mixed(5 << 20);
    const Decoded decoded = RunDecode(FileBody(content));
    ASSERT_EQ(static_cast<int>(decoded.outcome), static_cast<int>(Outcome::Content));
    EXPECT_TRUE(decoded.text == content);
}

long MaxResidentKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

TEST(DecodeFileBody, ForgedLengthReservesNothingUntilDataBacksIt) {
    // A 10-odd byte body that claims 2 GB - 1: the output grows only with the
    // inflated bytes, so the peak memory of the process barely moves.
    const long before = MaxResidentKb();
    const Decoded decoded = RunDecode(LengthField(0x7FFFFFFFu) + ZlibStream("tiny"));
    EXPECT_EQ(static_cast<int>(decoded.outcome), static_cast<int>(Outcome::InflateError));
    EXPECT_LT(MaxResidentKb() - before, 256 * 1024);
}

TEST(FileBodyDecoder, SlicesThatCrossEveryBoundaryGiveTheSameContent) {
    const std::string content = Mixed(300000);
    const std::string body = FileBody(content);
    // 1..3 split the length field; 4 ends exactly on it; the rest cross the
    // decoder's output growth steps and zlib's internal window at odd places.
    for (const std::size_t slice : {1u, 2u, 3u, 4u, 5u, 7u, 4093u, 65536u, 65537u, 1u << 20}) {
        SCOPED_TRACE(slice);
        FileBodyDecoder decoder;
        for (std::size_t at = 0; at < body.size(); at += slice)
            decoder.Feed(body.data() + at, std::min(slice, body.size() - at));
        EXPECT_TRUE(decoder.Finish() == content);
    }
}

TEST(FileBodyDecoder, EveryBodyDecodesAlikeWholeAndSliced) {
    // The outcome depended on where a slice ended: a check value damaged
    // right after the L-th byte failed the whole body, but passed when the
    // body came in small slices (the decoder stopped before reaching it).
    const std::string stream = ZlibStream("hello, package");
    std::string badCheck = stream;
    badCheck.back() = static_cast<char>(badCheck.back() ^ 1);
    struct Row {
        std::string body;
        bool decodes;
        const char* why;
    };
    const Row rows[] = {
        {LengthField(14) + badCheck, false, "damage met before any further output fails"},
        {LengthField(14) + stream.substr(0, stream.size() - 4), true, "a stream cut inside its check value"},
        {LengthField(5) + badCheck, true, "the stream goes on past L: cut there, the rest unread"},
        {LengthField(3) + std::string("x\x9cKL`\0\0x\x9cKMLNIMKd\0\0\0\xcf\0\0\0", 24), false,
         "the fuzzer's input: three bytes out, then a wrong check value"},
        // Found by fuzzing: "hellh" out, then a copy from before the start,
        // which the inflater only notices with room for the byte it copies.
        {LengthField(5) + std::string("x\x9c\xcbH\xcd\xc9\xc9\0\x0e,\x02", 11), false,
         "five bytes out, then a distance too far back"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        for (const std::size_t slice : {row.body.size(), std::size_t{1}, std::size_t{2}, std::size_t{5}}) {
            SCOPED_TRACE(slice);
            FileBodyDecoder decoder;
            bool decoded = true;
            try {
                for (std::size_t at = 0; at < row.body.size(); at += slice)
                    decoder.Feed(row.body.data() + at, std::min(slice, row.body.size() - at));
                decoder.Finish();
            } catch (const Error& e) {
                EXPECT_STREQ(e.what(), "Error");
                decoded = false;
            }
            EXPECT_EQ(decoded, row.decodes);
        }
    }
}

TEST(FileBodyDecoder, LengthFieldSplitAcrossFeeds) {
    const std::string body = FileBody("abc");
    struct Case {
        std::size_t cut;
        const char* what;
    } cases[] = {{1, "after one length byte"}, {3, "after three length bytes"}, {4, "right after the length"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FileBodyDecoder decoder;
        decoder.Feed(body.data(), c.cut);
        decoder.Feed(body.data() + c.cut, body.size() - c.cut);
        EXPECT_EQ(decoder.Finish(), "abc");
    }
    FileBodyDecoder partial;
    partial.Feed(body.data(), 2);
    EXPECT_THROW(partial.Finish(), EReadError);  // ended inside the length field
}

TEST(FileBodyDecoder, TopBitLengthFailsAsSoonAsTheLengthIsKnown) {
    FileBodyDecoder decoder;
    const std::string field = LengthField(0x80000001u);
    decoder.Feed(field.data(), 3);
    EXPECT_THROW(decoder.Feed(field.data() + 3, 1), EOutOfMemory);
}

}  // namespace
}  // namespace klv
