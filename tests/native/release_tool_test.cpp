// klv-release on real images (our own cross-compiled samples) and data files:
// the versions it writes, what it refuses, and what it leaves in place.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/temp_folder.h"
#include "support/update_server_fixture.h"

namespace klv {
namespace {

namespace fs = std::filesystem;
using test::TempFolder;

struct ToolRun {
    int exitCode = -1;
    std::string out;
};

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class ReleaseToolTest : public ::testing::Test {
protected:
    // The source folder's file `name` (POSIX) with `content`, or a copy of
    // a sample image when `content` starts with "sample:".
    void Put(const std::string& name, const std::string& content) {
        const fs::path path = fs::path(source_.native()) / name;
        fs::create_directories(path.parent_path());
        fs::remove(path);
        if (content.rfind("sample:", 0) == 0) {
            const std::string sample = std::string(KLV_TOOLS_DIR) + "/pe-samples/" + content.substr(7);
            ASSERT_TRUE(fs::exists(sample)) << sample << " is missing: the native build makes it with mingw-w64";
            fs::copy_file(sample, path);
        } else {
            std::ofstream(path, std::ios::binary) << content;
        }
    }

    ToolRun Release(const std::string& name, const std::string& options = {}) {
        const std::string out = work_.native() + "out";
        const std::string command = test::ToolsDir() + "/klv-release --name " + name + " " + options + " " +
                                    source_.native() + " " + releases_.native() + " >" + out + " 2>&1";
        const int status = std::system(command.c_str());
        return ToolRun{WIFEXITED(status) ? WEXITSTATUS(status) : -1, Slurp(out)};
    }

    std::string Current() const { return fs::read_symlink(releases_.native() + "current").string(); }
    std::string Manifest(const std::string& release) const {
        return Slurp(releases_.native() + release + "/files.txt");
    }

    TempFolder source_, releases_, work_;
};

TEST_F(ReleaseToolTest, VersionsComeFromTheImagesAndFromThePreviousRelease) {
    Put("KLVInst.exe", "sample:next-i386.exe");   // version resource 1.0.13.0
    Put("KLVCtrl.exe", "sample:other-i386.exe");  // 2.3.40000.5
    Put("plain.exe", "sample:plain-x86-64.exe");  // no version resource: a data file
    Put("readme.txt", "first");
    Put("sub/data.bin", "kept");
    Put("files.txt", "stale=9\r\n");  // the source's own manifest is not taken
    ToolRun first = Release("r1");
    ASSERT_EQ(first.exitCode, 0) << first.out;
    EXPECT_EQ(Manifest("r1"),
              "KLVCtrl.exe=2.3.40000.5\r\nKLVInst.exe=1.0.13.0\r\nplain.exe=1.0.0.1\r\nreadme.txt=1.0.0.1\r\n"
              "sub\\data.bin=1.0.0.1\r\n");
    EXPECT_EQ(Current(), "r1");
    EXPECT_EQ(Slurp(releases_.native() + "r1/sub/data.bin"), "kept");
    EXPECT_NE(first.out.find("added    KLVInst.exe 1.0.13.0"), std::string::npos) << first.out;

    // The next release: one data file changed, one removed, one added; the
    // executables as they were.
    Put("readme.txt", "second");
    fs::remove(fs::path(source_.native()) / "plain.exe");
    Put("new.txt", "n");
    ToolRun second = Release("r2");
    ASSERT_EQ(second.exitCode, 0) << second.out;
    EXPECT_EQ(Manifest("r2"),
              "KLVCtrl.exe=2.3.40000.5\r\nKLVInst.exe=1.0.13.0\r\nnew.txt=1.0.0.1\r\nreadme.txt=1.0.0.2\r\n"
              "sub\\data.bin=1.0.0.1\r\n");
    EXPECT_EQ(Current(), "r2");
    EXPECT_EQ(Manifest("r1").substr(0, 12), "KLVCtrl.exe=");  // the old release stays served
    for (const char* line :
         {"changed  readme.txt 1.0.0.1 -> 1.0.0.2", "removed  plain.exe 1.0.0.1", "added    new.txt"})
        EXPECT_NE(second.out.find(line), std::string::npos) << line << "\n" << second.out;

    // Nothing changed: no release is made.
    ToolRun third = Release("r3");
    EXPECT_EQ(third.exitCode, 0) << third.out;
    EXPECT_FALSE(fs::exists(releases_.native() + "r3"));
    EXPECT_EQ(Current(), "r2");
}

TEST_F(ReleaseToolTest, RefusesWhatNoLauncherShouldFetchAndLeavesTheLiveReleaseAlone) {
    Put("KLVInst.exe", "sample:other-i386.exe");  // 2.3.40000.5
    ASSERT_EQ(Release("r1").exitCode, 0);
    struct Row {
        const char* name;
        const char* content;  // nullptr: a link to /etc/passwd
        const char* catches;
    };
    const Row rows[] = {
        {"KLVInst.exe", "sample:next-i386.exe", "an executable that changed to an older version (1.0.13.0)"},
        {"con.txt", "x", "a device name the package-name rule refuses"},
        {"a:b", "x", "a colon: a drive or a stream on Windows"},
        {"a=b", "x", "a name files.txt cannot hold"},
        {"link", nullptr, "a link: what it leads to is not the release"},
    };
    for (const Row& row : rows) {
        const fs::path path = fs::path(source_.native()) / row.name;
        const std::string saved = Slurp(source_.native() + "KLVInst.exe");
        if (row.content)
            Put(row.name, row.content);
        else
            fs::create_symlink("/etc/passwd", path);
        const ToolRun run = Release("r2");
        EXPECT_EQ(run.exitCode, 1) << row.catches << "\n" << run.out;
        EXPECT_NE(run.out.find("refused"), std::string::npos) << row.catches << "\n" << run.out;
        EXPECT_FALSE(fs::exists(releases_.native() + "r2")) << row.catches;
        EXPECT_EQ(Current(), "r1") << row.catches;
        // Undo the row for the next one.
        if (std::string(row.name) == "KLVInst.exe")
            std::ofstream(path, std::ios::binary) << saved;
        else
            fs::remove(path);
    }
}

TEST_F(ReleaseToolTest, WithTheLaunchersCertificateEveryImageMustBeSignedWithItsKey) {
    // Throwaway keys, made here and never kept: A signs the release, B is a stranger's.
    const std::string keys = work_.native();
    for (const char* k : {"A", "B"})
        ASSERT_EQ(std::system(("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=" + std::string(k) +
                               " -addext extendedKeyUsage=codeSigning -keyout " + keys + k + ".key -out " + keys + k +
                               ".pem >/dev/null 2>&1")
                                  .c_str()),
                  0);
    const std::string sample = std::string(KLV_TOOLS_DIR) + "/pe-samples/next-i386.exe";
    const auto sign = [&](const char* key, const std::string& out) {
        return std::system(("osslsigncode sign -certs " + keys + key + ".pem -key " + keys + key + ".key -in " +
                            sample + " -out " + out + " >/dev/null 2>&1")
                               .c_str()) == 0;
    };
    ASSERT_TRUE(sign("A", keys + "a.exe") && sign("B", keys + "b.exe"));
    fs::copy_file(keys + "a.exe", keys + "altered.exe");
    {
        std::fstream f(keys + "altered.exe", std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(2000);
        f.put('\x5A');  // one byte of code, after signing
    }
    struct Row {
        std::string file;
        bool accepted;
        const char* says;
    };
    const Row rows[] = {
        {keys + "a.exe", true, "added"},
        {keys + "b.exe", false, "signed with another key"},
        {sample, false, "not signed"},
        {keys + "altered.exe", false, "does not match its content"},
    };
    for (const Row& row : rows) {
        fs::remove_all(releases_.native() + "r1");
        Put("KLVInst.exe", "x");
        fs::remove(fs::path(source_.native()) / "KLVInst.exe");
        fs::copy_file(row.file, fs::path(source_.native()) / "KLVInst.exe");
        const ToolRun run = Release("r1", "--certificate " + keys + "A.pem");
        EXPECT_EQ(run.exitCode == 0, row.accepted) << row.file << "\n" << run.out;
        EXPECT_NE(run.out.find(row.says), std::string::npos) << row.file << "\n" << run.out;
        EXPECT_EQ(fs::exists(releases_.native() + "r1"), row.accepted) << row.file;
    }
}

}  // namespace
}  // namespace klv
