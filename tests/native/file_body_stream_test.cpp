// Downloads streamed to disk: the inflater that hands the content on in
// pieces (it must decide every body exactly as FileBodyDecoder does), the
// file layer's streamed write, and the package fetch and GetAFile download
// built on them, whose memory must not grow with the file (shown by an
// allocation cap: any buffer the size of the file fails the download).
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/file_system.h"
#include "support/file_body_decoder.h"
#include "sync/file_body_writer.h"
#include "http/http_client.h"
#include "sync/package_fetch.h"
#include "protocol/update_request.h"
#include "support/allocation_cap.h"
#include "support/file_body.h"
#include "support/full_disk_file_system.h"
#include "support/scripted_peer.h"
#include "support/temp_folder.h"
#include "support/update_server_fixture.h"
#include "sync/update_client.h"

namespace klv {
namespace {

using test::AllocationCap;
using test::FileBody;
using test::LengthField;
using test::TempFolder;
using test::ZlibStream;
using Files = std::vector<std::string>;

constexpr std::size_t kMiB = std::size_t{1} << 20;

// Content that compresses, but not to nothing: a package of programs.
std::string Patterned(std::size_t size) {
    std::string s(size, '\0');
    std::uint32_t x = 12345;
    for (std::size_t i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        s[i] = (i / 512) % 2 ? static_cast<char>(x >> 24) : static_cast<char>('a' + i % 26);
    }
    return s;
}

// What decoding a body gave: the content, or the kind and message raised.
struct Outcome {
    std::string content;
    std::string failure;
    bool operator==(const Outcome& o) const { return content == o.content && failure == o.failure; }
};

std::string Describe(const std::exception& e) {
    const char* kind = dynamic_cast<const EReadError*>(&e)     ? "EReadError: "
                       : dynamic_cast<const EOutOfMemory*>(&e) ? "EOutOfMemory: "
                                                               : "Error: ";
    return kind + std::string(e.what());
}

Outcome ByDecoder(const std::string& body, std::size_t slice) {
    FileBodyDecoder decoder;
    try {
        for (std::size_t at = 0; at < body.size(); at += slice)
            decoder.Feed(body.data() + at, std::min(slice, body.size() - at));
        return {decoder.Finish(), ""};
    } catch (const std::exception& e) {
        return {"", Describe(e)};
    }
}

Outcome ByInflater(const std::string& body, std::size_t slice) {
    std::string content;
    FileBodyInflater inflater([&content](const char* bytes, std::size_t count) { content.append(bytes, count); });
    try {
        for (std::size_t at = 0; at < body.size(); at += slice)
            inflater.Feed(body.data() + at, std::min(slice, body.size() - at));
        inflater.Finish();
        return {content, ""};
    } catch (const std::exception& e) {
        return {"", Describe(e)};
    }
}

TEST(FileBodyInflater, DecidesEveryBodyAsTheDecoderDoesHoweverItIsSliced) {
    const std::string big = Patterned(600 * 1024);  // more than one output window
    std::string damaged = FileBody("hello hello hello hello");
    damaged[8] = static_cast<char>(damaged[8] ^ 0x55);
    std::string badCheck = FileBody("hello");
    badCheck.back() = static_cast<char>(badCheck.back() ^ 1);
    struct Row {
        std::string body;
        const char* why;
    };
    const Row rows[] = {
        {"", "an empty body is an empty file"},
        {"abc", "1 to 3 bytes: the length cannot be read"},
        {LengthField(0) + "junk", "length 0: whatever follows is ignored"},
        {FileBody("hello"), "an ordinary body"},
        {FileBody(big), "content handed on in several windows, none lost or doubled at their seams"},
        {LengthField(3) + ZlibStream("hello"), "a length smaller than the content cuts it"},
        {LengthField(10) + ZlibStream("hello"), "a stream short of its length is damaged"},
        {LengthField(600 * 1024 + 1) + ZlibStream(big), "short by one byte past several windows"},
        {damaged, "damaged deflate data"},
        {badCheck, "a wrong check value"},
        {LengthField(0x80000000u) + ZlibStream("x"), "a length with the top bit set cannot be honoured"},
        {FileBody("hello").substr(0, 9), "a stream cut off in the middle"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        const Outcome expected = ByDecoder(row.body, row.body.size() + 1);
        for (std::size_t slice :
             {std::size_t{1}, std::size_t{3}, std::size_t{7}, std::size_t{4096}, row.body.size() + 1}) {
            SCOPED_TRACE("slices of " + std::to_string(slice));
            const Outcome got = ByInflater(row.body, slice);
            EXPECT_EQ(got.failure, expected.failure);
            EXPECT_TRUE(got.content == expected.content)
                << got.content.size() << " bytes, not " << expected.content.size();
        }
    }
}

class StreamedWrite : public ::testing::Test {
protected:
    platform::FileSystem& fs_ = platform::RealFileSystem();
    TempFolder dir_;
    std::string target_ = dir_.path() + "f.bin";
};

TEST_F(StreamedWrite, TheTargetChangesOnlyAtTheCommitAndThenWhole) {
    dir_.Write("f.bin", "old");
    auto writer = fs_.BeginWrite(target_);
    writer->Write("new ", 4);
    writer->Write("content", 7);
    // Mid-write the old file is still what a reader sees.
    EXPECT_EQ(dir_.Read("f.bin"), "old");
    writer->Commit();
    EXPECT_EQ(dir_.Read("f.bin"), "new content");
    EXPECT_EQ(dir_.Files(), Files{"f.bin"});  // no temporary file left
}

TEST_F(StreamedWrite, AWriterDroppedWithoutCommitLeavesNothing) {
    dir_.Write("f.bin", "old");
    {
        auto writer = fs_.BeginWrite(target_);
        writer->Write("partial", 7);
    }
    EXPECT_EQ(dir_.Read("f.bin"), "old");
    EXPECT_EQ(dir_.Files(), Files{"f.bin"});
}

TEST_F(StreamedWrite, FailuresNameTheTargetAndLeaveNoTemporaryFile) {
    // A read-only target refuses to be replaced (Windows semantics).
    dir_.Write("f.bin", "old");
    ASSERT_TRUE(fs_.SetReadOnly(target_, true));
    auto writer = fs_.BeginWrite(target_);
    writer->Write("new", 3);
    try {
        writer->Commit();
        ADD_FAILURE() << "the commit did not fail";
    } catch (const EFCreateError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Cannot create file \"" + target_ + "\". ", 0), 0u) << e.what();
    }
    EXPECT_EQ(dir_.Files(), Files{"f.bin"});
    fs_.SetReadOnly(target_, false);
    EXPECT_EQ(dir_.Read("f.bin"), "old");
    // A folder that does not exist: refused at the start, nothing created.
    EXPECT_THROW(fs_.BeginWrite(dir_.path() + "missing\\f.bin"), EFCreateError);
    EXPECT_FALSE(fs_.DirectoryExists(dir_.path() + "missing"));
}

class StreamedDownload : public ::testing::Test {
protected:
    StreamedDownload() { SetServerBaseUrl(server_.BaseUrl()); }
    ~StreamedDownload() override { SetServerBaseUrl(saved_); }

    std::string saved_ = ServerBaseUrl();
    test::UpdateServerFixture server_;
    TempFolder local_;
    HttpClient http_;
};

TEST_F(StreamedDownload, MemoryDoesNotGrowWithTheFile) {
    // Every buffer that grew with the file (the body, then the content) was
    // tens of MiB here; capped at 1 MiB each, only a stream can succeed.
    const std::string content = Patterned(24 * kMiB);
    server_.WritePackageFile("sub\\big.bin", content);
    local_.Write("sub\\big.bin", "old");
    {
        AllocationCap cap(kMiB);
        ASSERT_TRUE(FetchPackageFile(http_, platform::RealFileSystem(), local_.path(), "sub\\big.bin"));
        EXPECT_EQ(cap.Refused(), 0u);
    }
    EXPECT_TRUE(local_.Read("sub\\big.bin") == content);
    EXPECT_EQ(local_.Files(), Files{"sub\\big.bin"});
    {
        AllocationCap cap(kMiB);
        ASSERT_TRUE(DownloadServerFile("sub\\big.bin", local_.path() + "Kesto.exe"));
        EXPECT_EQ(cap.Refused(), 0u);
    }
    EXPECT_TRUE(local_.Read("Kesto.exe") == content);
    EXPECT_EQ(server_.RequestCount(), 2);
}

TEST_F(StreamedDownload, ADiskThatFillsUpMidFileLeavesTheFileAsItWas) {
    // The content arrives in several pieces; the disk takes the first only.
    server_.WritePackageFile("x.dll", Patterned(kMiB));
    local_.Write("x.dll", "old x");
    test::FullDiskFileSystem disk(platform::RealFileSystem(), 300 * 1024);
    try {
        FetchPackageFile(http_, disk, local_.path(), "x.dll");
        ADD_FAILURE() << "the write did not fail";
    } catch (const EFCreateError& e) {
        EXPECT_STREQ(e.what(), ("Cannot create file \"" + local_.path() + "x.dll\". No space left on device").c_str());
    }
    EXPECT_EQ(disk.refusedWrites, Files{local_.path() + "x.dll"});
    EXPECT_LT(disk.FreeBytes(), std::uint64_t{300 * 1024});  // the first piece went to disk
    EXPECT_EQ(local_.Read("x.dll"), "old x");
    EXPECT_EQ(local_.Files(), Files{"x.dll"});
    EXPECT_EQ(server_.RequestCount(), 1);
}

TEST(StreamedFetchAttempts, BytesOfAFailedTransferNeverDecideTheFetch) {
    using test::CloseNow;
    using test::ReadRequest;
    using test::Send;
    // A chunked body cut off inside its chunk fails the transfer. The bytes
    // that came first do not inflate, and the sub-folder was never needed,
    // yet this is a failed attempt like any other, not a decoding failure.
    std::string damaged = FileBody("content");
    damaged[6] = static_cast<char>(damaged[6] ^ 0x5A);
    const std::string cutChunk = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n64\r\n" + damaged.substr(0, 10);
    const std::string good = FileBody("good content");
    const std::string goodAnswer =
        "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(good.size()) + "\r\n\r\n" + good;
    struct Row {
        std::vector<std::vector<test::PeerAction>> scripts;
        bool fetched;
        const char* why;
    };
    const Row rows[] = {
        {{{ReadRequest(), Send(cutChunk), CloseNow()},
          {ReadRequest(), Send(cutChunk), CloseNow()},
          {ReadRequest(), Send(goodAnswer)}},
         true,
         "two cut transfers, then a good body: the third attempt counts alone"},
        {std::vector<std::vector<test::PeerAction>>(kFetchAttempts, {ReadRequest(), Send(cutChunk), CloseNow()}), false,
         "three cut transfers: false, with no folder and no file left behind"},
    };
    const std::string saved = ServerBaseUrl();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        test::ScriptedPeer peer(row.scripts);
        SetServerBaseUrl(peer.Url("/"));
        TempFolder local;
        {
            HttpClient http;  // closing its connection lets the peer finish
            EXPECT_EQ(FetchPackageFile(http, platform::RealFileSystem(), local.path(), "sub\\deep\\x.dll"),
                      row.fetched);
        }
        peer.WaitUntilDone();
        EXPECT_EQ(peer.Connections(), kFetchAttempts);
        if (row.fetched) {
            EXPECT_EQ(local.Read("sub\\deep\\x.dll"), "good content");
            EXPECT_EQ(local.Files(), Files{"sub\\deep\\x.dll"});
        } else {
            EXPECT_FALSE(platform::RealFileSystem().DirectoryExists(local.path() + "sub"));
            EXPECT_TRUE(local.Files().empty());
        }
    }
    SetServerBaseUrl(saved);
}

}  // namespace
}  // namespace klv
