// The publisher check on real signed files, under Wine. This test program is
// signed like the launcher, so its own publisher is the pin; its subject is a
// small program signed the same way and in every other way a file can arrive
// (see programs/CMakeLists.txt).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/certificate_key.h"
#include "platform/publisher_trust.h"
#include "win32/win_test_paths.h"

namespace klv::platform {
namespace {

using Kind = Publisher::Kind;

std::string Subject(const std::string& variant) {
    return test::SubjectProgram(variant.empty() ? "trust_subject.exe" : variant + "\\trust_subject.exe");
}

TEST(PublisherTrustWin, TheRunningProgramPinsItsSigner) {
    const Publisher own = RunningPublisher();
    ASSERT_EQ(own.kind, Kind::Pinned) << own.reason;
    EXPECT_TRUE(CertificatePublicKey(own.certificate).has_value());
    EXPECT_TRUE(SamePublicKey(own.certificate, PublisherOf(Subject("")).certificate));
}

// A key change: one release, signed with the old key, names the new key;
// a launcher of that release accepts files of either key, one without it
// only its own.
TEST(PublisherTrustWin, AReleaseThatNamesTheNextKeyAcceptsIt) {
    const Publisher moving = PublisherOf(Subject("successor"));
    ASSERT_EQ(moving.kind, Kind::Pinned) << moving.reason;
    ASSERT_FALSE(moving.successor.empty()) << "the named key was not read";
    EXPECT_TRUE(SamePublicKey(moving.successor, PublisherOf(Subject("foreign")).certificate));
    EXPECT_EQ(CheckPublisher(Subject("foreign"), moving).Verdict(), Trust::Trusted);
    EXPECT_EQ(CheckPublisher(Subject(""), moving).Verdict(), Trust::Trusted);
    EXPECT_EQ(CheckPublisher(Subject("unsigned"), moving).Verdict(), Trust::Unsigned);
    EXPECT_TRUE(RunningPublisher().successor.empty());
    EXPECT_EQ(CheckPublisher(Subject("foreign"), RunningPublisher()).Verdict(), Trust::OtherPublisher);
}

struct Case {
    const char* name;
    const char* variant;  // folder of the subject's variant
    Trust verdict;        // checked against this program's publisher
    Kind pins;            // what the file would pin as the running launcher
};

TEST(PublisherTrustWin, EachWayAFileArrives) {
    const Case cases[] = {
        {"signed_by_the_publisher", "", Trust::Trusted, Kind::Pinned},
        {"renewed_certificate_same_key", "renewed", Trust::Trusted, Kind::Pinned},
        {"signed_by_another_key", "foreign", Trust::OtherPublisher, Kind::Pinned},
        // Only the primary signature counts: the nested one is not covered
        // by anything and could have been added on the way.
        {"publisher_only_nested", "nested", Trust::OtherPublisher, Kind::Pinned},
        {"unsigned", "unsigned", Trust::Unsigned, Kind::Unsigned},
        {"one_byte_of_code_altered", "altered", Trust::Altered, Kind::Broken},
        {"missing", "missing", Trust::CannotOpen, Kind::Broken},
    };
    const Publisher pin = RunningPublisher();
    ASSERT_EQ(pin.kind, Kind::Pinned) << pin.reason;
    Publisher broken;
    broken.kind = Kind::Broken;
    broken.reason = "test";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = Subject(c.variant);
        const CheckedFile checked = CheckPublisher(path, pin);
        EXPECT_EQ(checked.Verdict(), c.verdict) << checked.Reason();
        EXPECT_FALSE(checked.Reason().empty());
        EXPECT_EQ(checked.Handle() != nullptr, c.verdict != Trust::CannotOpen);
        EXPECT_EQ(PublisherOf(path).kind, c.pins) << PublisherOf(path).reason;
        // With no pin every file that opens is trusted; under a pin that
        // does not verify, none is.
        const bool opens = c.verdict != Trust::CannotOpen;
        EXPECT_EQ(CheckPublisher(path, Publisher{}).Verdict(), opens ? Trust::Trusted : Trust::CannotOpen);
        EXPECT_EQ(CheckPublisher(path, broken).Verdict(), opens ? Trust::NoPublisher : Trust::CannotOpen);
    }
}

TEST(PublisherTrustWin, TheCheckedFileCannotBeSwappedUntilReleased) {
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string base = std::string(temp) + "klv-trust-" + std::to_string(GetCurrentProcessId());
    const std::string file = base + ".exe", moved = base + "-moved.exe";
    ASSERT_TRUE(CopyFileA(Subject("").c_str(), file.c_str(), FALSE));
    const auto canWrite = [&] {
        HANDLE h = CreateFileA(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) return false;
        CloseHandle(h);
        return true;
    };
    {
        CheckedFile held = CheckPublisher(file, RunningPublisher());
        ASSERT_TRUE(held.Trusted()) << held.Reason();
        EXPECT_FALSE(canWrite());
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
        EXPECT_FALSE(MoveFileA(file.c_str(), moved.c_str()));
        EXPECT_FALSE(DeleteFileA(file.c_str()));
        // What the hold is for: the checked file starts while it is held.
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        std::string commandLine = "\"" + file + "\"";
        ASSERT_TRUE(CreateProcessA(file.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                   &startup, &process))
            << GetLastError();
        EXPECT_EQ(WaitForSingleObject(process.hProcess, 30000), WAIT_OBJECT_0);
        DWORD code = 1;
        GetExitCodeProcess(process.hProcess, &code);
        EXPECT_EQ(code, 0u);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        // Moved from, the hold goes with it.
        CheckedFile movedTo = std::move(held);
        EXPECT_FALSE(canWrite());
    }
    EXPECT_TRUE(canWrite());
    EXPECT_TRUE(MoveFileA(file.c_str(), moved.c_str()));
    EXPECT_TRUE(DeleteFileA(moved.c_str()));
}

}  // namespace
}  // namespace klv::platform
