// Memory faults on the download path: a server announcing more than the
// launcher can hold, a length field that lies, and a body built to inflate
// without end. Each runs against a real loopback server, with the test
// thread's allocations capped (AllocationCap) so that "memory bounded" is
// shown by construction: an allocation past the cap fails the test's fetch.
#include <gtest/gtest.h>

#include "platform/error.h"
#include "platform/file_system.h"
#include "http/http_client.h"
#include "sync/package_fetch.h"
#include "sync/package_sync.h"
#include "protocol/update_request.h"
#include "support/allocation_cap.h"
#include "support/canned_answer_server.h"
#include "support/file_body.h"
#include "support/recording_sync_view.h"
#include "support/temp_folder.h"
#include "sync/update_client.h"

namespace klv {
namespace {

using test::AllocationCap;
using test::CannedAnswerServer;
using test::TempFolder;

constexpr std::size_t kMiB = std::size_t{1} << 20;

class MemoryFaultTest : public ::testing::Test {
protected:
    void TearDown() override { SetServerBaseUrl(saved_); }
    void Use(const CannedAnswerServer& server) { SetServerBaseUrl(server.BaseUrl()); }
    bool Fetch(const std::string& name) {
        return FetchPackageFile(http_, platform::RealFileSystem(), local_.path(), name);
    }

    std::string saved_ = ServerBaseUrl();
    TempFolder local_;
    HttpClient http_;
};

// A head announcing 500,000,000 bytes, then a short body and a close.
std::string HugeAnnouncement() {
    return "HTTP/1.1 200 OK\r\nContent-Length: 500000000\r\nConnection: close\r\n\r\n" + test::FileBody("x");
}

TEST_F(MemoryFaultTest, AnAnnouncedLengthCostsTheFetchNoMemory) {
    // The body goes to disk as it arrives: an announcement of 500,000,000
    // bytes used to presize a buffer of that size, which a 32-bit launcher
    // may not have. The body is cut short by the close, yet carries the
    // whole file, which is what the transport delivers.
    CannedAnswerServer server(HugeAnnouncement());
    Use(server);
    local_.Write("x.dll", "old x");
    AllocationCap cap(16 * kMiB);
    EXPECT_TRUE(Fetch("x.dll"));
    EXPECT_EQ(server.Requests(), 1);
    EXPECT_EQ(cap.Refused(), 0u);
    EXPECT_EQ(local_.Read("x.dll"), "x");
}

TEST_F(MemoryFaultTest, AnAnnouncedLengthCostsTheDownloadNoMemory) {
    CannedAnswerServer server(HugeAnnouncement());
    Use(server);
    local_.Write("Kesto.exe", "old");
    AllocationCap cap(16 * kMiB);
    EXPECT_TRUE(DownloadServerFile("Kesto.exe", local_.path() + "Kesto.exe"));
    EXPECT_EQ(server.Requests(), 1);
    EXPECT_EQ(cap.Refused(), 0u);
    EXPECT_EQ(local_.Read("Kesto.exe"), "x");
}

TEST_F(MemoryFaultTest, AnAnnouncedLengthCostsTheSynchronisationNoMemory) {
    // Every request gets the same answer: an empty manifest, announced huge.
    CannedAnswerServer server("HTTP/1.1 200 OK\r\nContent-Length: 500000000\r\nConnection: close\r\n\r\n" +
                              test::FileBody(""));
    Use(server);
    local_.Write("files.txt", "a.dll=1\r\n");
    test::RecordingSyncView view;
    PackageSynchroniser sync(http_, platform::RealFileSystem(), view);
    AllocationCap cap(16 * kMiB);
    EXPECT_TRUE(sync.SyncPackage(local_.path(), SyncProgressBar::Download));
    EXPECT_EQ(server.Requests(), 1);
    EXPECT_EQ(cap.Refused(), 0u);
    EXPECT_TRUE(view.Texts("box").empty());
    EXPECT_EQ(local_.Read("files.txt"), "");
    EXPECT_FALSE(local_.Exists("files_o.txt"));
    EXPECT_EQ(view.Last("actions"), "1");
}

TEST_F(MemoryFaultTest, AClaimedLengthReservesNothingBeyondWhatArrives) {
    struct Row {
        const char* contentLength;
        const char* why;
    };
    const Row rows[] = {
        {"2147483647", "the largest length: above the presize limit, so the buffer grows with the data"},
        {"2147483648", "past 32 bits signed: unreadable, so the body is read until the close"},
        {"4294967301", "wraps to 5 in 32 bits: must be unreadable, not a length of 5"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        const std::string body = test::FileBody("hello");
        CannedAnswerServer server("HTTP/1.1 200 OK\r\nContent-Length: " + std::string(row.contentLength) +
                                  "\r\nConnection: close\r\n\r\n" + body);
        Use(server);
        AllocationCap cap(64 * kMiB);
        ASSERT_TRUE(Fetch("a.dll"));
        EXPECT_EQ(local_.Read("a.dll"), "hello");
        EXPECT_EQ(cap.Refused(), 0u);
    }
}

TEST_F(MemoryFaultTest, AStreamThatInflatesWithoutEndIsCutAtItsLength) {
    // 256 MiB of zeros in a few hundred kilobytes; the length field says 4096.
    const std::string bomb = test::ZlibStreamOfZeros(256 * kMiB);
    CannedAnswerServer server(CannedAnswerServer::Ok(test::LengthField(4096) + bomb));
    Use(server);
    AllocationCap cap(16 * kMiB);
    ASSERT_TRUE(Fetch("a.dll"));
    EXPECT_EQ(local_.Read("a.dll"), std::string(4096, '\0'));
    EXPECT_EQ(cap.Refused(), 0u);
}

TEST_F(MemoryFaultTest, AStreamShortOfItsLengthFailsWithoutEverBeingHeld) {
    // The length field allows 2 GiB - 1 and the stream delivers 64 MiB: the
    // content goes to the temporary file as it is inflated, never into a
    // buffer, and the stream that ends short of its length is a damaged
    // body ("Error"), which leaves the old file and no temporary file.
    const std::string bomb = test::ZlibStreamOfZeros(64 * kMiB);
    CannedAnswerServer server(CannedAnswerServer::Ok(test::LengthField(0x7FFFFFFF) + bomb));
    Use(server);
    local_.Write("a.dll", "old a");
    AllocationCap cap(16 * kMiB);
    try {
        Fetch("a.dll");
        ADD_FAILURE() << "the fetch did not raise";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Error");
    }
    EXPECT_EQ(cap.Refused(), 0u);
    EXPECT_EQ(local_.Read("a.dll"), "old a");
    EXPECT_EQ(local_.Files(), std::vector<std::string>{"a.dll"});
    EXPECT_EQ(server.Requests(), 1);
}

}  // namespace
}  // namespace klv
