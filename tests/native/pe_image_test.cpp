// The PE reader on real images made by the cross-compilers (tools/pe-samples
// of this build), on copies of them cut short or damaged, and on files that
// are no Windows image at all; and klv-pe-info, its command-line face.
#include "pe/pe_image.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "selfupdate/self_update.h"
#include "support/temp_folder.h"

namespace klv {
namespace {

std::string SamplePath(const std::string& name) {
    return std::string(KLV_TOOLS_DIR) + "/pe-samples/" + name;
}

std::string ReadSample(const std::string& name) {
    std::ifstream in(SamplePath(name), std::ios::binary);
    EXPECT_TRUE(in) << SamplePath(name) << " is missing: the native build makes it with mingw-w64";
    return std::string{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::uint32_t U32At(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = value << 8 | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    return value;
}

void PutU32(std::string& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + static_cast<std::size_t>(i)] = static_cast<char>(value >> (8 * i));
}

// The section table of an image, for building damaged copies.
struct SectionRow {
    std::string name;
    std::uint32_t virtualAddress, rawSize, rawOffset;
    std::size_t headerAt;
};

std::vector<SectionRow> Sections(const std::string& bytes) {
    const std::size_t pe = U32At(bytes, 0x3C);
    const std::size_t count = static_cast<unsigned char>(bytes[pe + 6]) | static_cast<unsigned char>(bytes[pe + 7])
                                                                              << 8;
    const std::size_t optionalSize =
        static_cast<unsigned char>(bytes[pe + 20]) | static_cast<unsigned char>(bytes[pe + 21]) << 8;
    std::vector<SectionRow> rows;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = pe + 24 + optionalSize + 40 * i;
        rows.push_back(SectionRow{std::string(bytes.data() + at, 8).c_str(), U32At(bytes, at + 12),
                                  U32At(bytes, at + 16), U32At(bytes, at + 20), at});
    }
    return rows;
}

const SectionRow& SectionNamed(const std::vector<SectionRow>& rows, const std::string& name) {
    for (const SectionRow& row : rows)
        if (row.name == name) return row;
    throw std::runtime_error("no section " + name);
}

TEST(PeImage, ReadsTheFactsOfRealImages) {
    struct Case {
        const char* file;
        std::uint16_t machine;
        std::uint16_t subsystem;
        bool dll;
        const char* version;
        bool manifest;
        const char* why;
    };
    const Case cases[] = {
        {"next-x86-64.exe", kMachineAmd64, kSubsystemGui, false, "1.0.13.0", true, "64-bit header form"},
        {"next-i386.exe", kMachineI386, kSubsystemGui, false, "1.0.13.0", true, "32-bit header form"},
        // Four different parts, one above 32767: a field read from the wrong
        // half, the product version or as signed shows here.
        {"other-i386.exe", kMachineI386, kSubsystemConsole, false, "2.3.40000.5", false, "version field order"},
        {"plain-x86-64.exe", kMachineAmd64, kSubsystemGui, false, "", false, "no resource tree at all"},
        {"sample-x86-64.dll", kMachineAmd64, kSubsystemConsole, true, "1.0.13.0", true, "a DLL is told apart"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + ": " + c.why);
        const auto image = ReadPeImage(ReadSample(c.file));
        ASSERT_TRUE(image.has_value());
        EXPECT_EQ(image->machine, c.machine);
        EXPECT_EQ(image->subsystem, c.subsystem);
        EXPECT_EQ((image->characteristics & kImageDll) != 0, c.dll);
        EXPECT_NE(image->characteristics & kImageExecutable, 0);
        EXPECT_TRUE(image->sectionsFit);
        EXPECT_EQ(image->fileVersion, c.version);
        ASSERT_EQ(image->manifest.has_value(), c.manifest);
        if (c.manifest) {
            EXPECT_NE(image->manifest->find("level=\"requireAdministrator\""), std::string::npos);
        }
        // The imports a mingw program always has, in table order: the name
        // strings must come from the right file offsets.
        ASSERT_GE(image->importedDlls.size(), 2u);
        EXPECT_EQ(image->importedDlls[0], "KERNEL32.dll");
        EXPECT_EQ(image->importedDlls[1], "msvcrt.dll");
        const bool user32 = std::find(image->importedDlls.begin(), image->importedDlls.end(), "USER32.dll") !=
                            image->importedDlls.end();
        EXPECT_EQ(user32, !c.dll);
    }
}

TEST(PeImage, CutShortCopiesDoNotFit) {
    const std::string whole = ReadSample("next-x86-64.exe");
    const std::vector<SectionRow> rows = Sections(whole);
    ASSERT_FALSE(rows.empty());
    std::uint64_t end = 0;
    for (const SectionRow& row : rows) end = std::max<std::uint64_t>(end, row.rawOffset + row.rawSize);
    ASSERT_EQ(end, whole.size()) << "the stripped sample ends with its last section";

    struct Case {
        std::size_t size;
        const char* why;
    };
    const Case cases[] = {
        {whole.size() - 1, "one byte missing: an off-by-one in the bound passes it"},
        {whole.size() - 4096, "a download that stopped inside the last section"},
        {rows.front().rawOffset + 1u, "only the headers and a byte of the first section arrived"},
        {rows.front().rawOffset, "exactly the headers"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        const auto image = ReadPeImage(std::string_view(whole).substr(0, c.size));
        ASSERT_TRUE(image.has_value()) << "the headers are whole";
        EXPECT_EQ(image->machine, kMachineAmd64);
        EXPECT_FALSE(image->sectionsFit);
    }
}

TEST(PeImage, BytesAfterTheLastSectionKeepTheImageComplete) {
    // A signed launcher carries its signature after the sections.
    const auto image = ReadPeImage(ReadSample("next-x86-64.exe") + std::string(5000, '\x5A'));
    ASSERT_TRUE(image.has_value());
    EXPECT_TRUE(image->sectionsFit);
    EXPECT_EQ(image->fileVersion, "1.0.13.0");
}

TEST(PeImage, LocatesTheChecksumAndTheCertificateTable) {
    // Signed copies made here with a throwaway key, as a release signs.
    test::TempFolder folder;
    const std::string d = folder.native();
    ASSERT_EQ(std::system(("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=pe -addext "
                           "extendedKeyUsage=codeSigning -keyout " +
                           d + "k.key -out " + d + "k.pem >/dev/null 2>&1")
                              .c_str()),
              0);
    struct Case {
        const char* sample;
        bool sign;
        std::uint64_t directories;  // where the directories start in the optional header
        const char* why;
    };
    const Case cases[] = {
        {"next-i386.exe", false, 96, "32-bit header form, no table"},
        {"next-x86-64.exe", false, 112, "64-bit header form: the directories lie 16 bytes further"},
        {"next-i386.exe", true, 96, "the table a signature appends, in the 32-bit form"},
        {"next-x86-64.exe", true, 112, "the same in the 64-bit form: an RVA-mapped offset would miss it"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.sample) + ": " + c.why);
        const std::string plain = ReadSample(c.sample);
        std::string bytes = plain;
        if (c.sign) {
            ASSERT_EQ(std::system(("osslsigncode sign -certs " + d + "k.pem -key " + d + "k.key -in " +
                                   SamplePath(c.sample) + " -out " + d + "s.exe >/dev/null 2>&1")
                                      .c_str()),
                      0);
            bytes = folder.Read("s.exe");
            std::remove((d + "s.exe").c_str());
        }
        const auto image = ReadPeImage(bytes);
        ASSERT_TRUE(image.has_value());
        const std::uint64_t optional = U32At(bytes, 0x3C) + 4 + 20;
        EXPECT_EQ(image->checksumOffset, optional + 64);
        EXPECT_EQ(image->certificateEntryOffset, optional + c.directories + 4 * 8);
        // The signature goes after the last section, up to the end of the file.
        const std::uint64_t table = image->certificateTableOffset;
        EXPECT_EQ(table, c.sign ? plain.size() : 0u);
        EXPECT_EQ(table + image->certificateTableSize, c.sign ? bytes.size() : 0u);
        // There a WIN_CERTIFICATE starts: its length, then revision 2.0.
        if (c.sign) {
            EXPECT_EQ(U32At(bytes, table + 4) & 0xFFFFu, 0x0200u);
        }
    }
}

TEST(PeImage, FilesThatAreNoImageAreRefused) {
    const std::string whole = ReadSample("next-i386.exe");
    std::string badSignature = whole;
    badSignature[U32At(whole, 0x3C) + 1] = 'X';
    std::string farHeader = whole;
    PutU32(farHeader, 0x3C, 0x7FFFFFF0u);
    std::string badMagic = whole;
    badMagic[U32At(whole, 0x3C) + 24] = 0x07;
    std::ifstream tool(std::string(KLV_TOOLS_DIR) + "/klv-pe-info", std::ios::binary);
    const std::string elf{std::istreambuf_iterator<char>(tool), std::istreambuf_iterator<char>()};
    ASSERT_GT(elf.size(), 1000u);
    struct Case {
        std::string bytes;
        const char* why;
    };
    const Case cases[] = {
        {"", "empty file"},
        {"MZ", "a DOS signature and nothing else"},
        {whole.substr(0, 0x40), "cut inside the DOS header"},
        {whole.substr(0, U32At(whole, 0x3C) + 30), "cut inside the PE headers"},
        {badSignature, "the PE signature is wrong"},
        {farHeader, "the PE header offset points past the end"},
        {badMagic, "an optional header of no known form"},
        {"<html><body>502 Bad Gateway</body></html>", "an error page saved as the launcher"},
        {elf, "an executable of another system"},
    };
    for (const Case& c : cases) EXPECT_FALSE(ReadPeImage(c.bytes).has_value()) << c.why;
}

TEST(PeImage, DamagedTablesLoseOnlyWhatTheyHold) {
    const std::string whole = ReadSample("next-x86-64.exe");
    const std::vector<SectionRow> rows = Sections(whole);
    const SectionRow& rsrc = SectionNamed(rows, ".rsrc");

    // The first type entry of the resource tree sent far outside the file.
    std::string farResources = whole;
    PutU32(farResources, rsrc.rawOffset + 16 + 4, 0x80000000u | 0x7FFFFF00u);
    const auto image = ReadPeImage(farResources);
    ASSERT_TRUE(image.has_value());
    EXPECT_EQ(image->machine, kMachineAmd64);
    EXPECT_EQ(image->importedDlls.size(), ReadPeImage(whole)->importedDlls.size());
    EXPECT_EQ(image->fileVersion, "") << "a version from a tree that leaves the file would be invented";

    // The resource section's data cut from the file while the headers still
    // promise it: no version can be read, and the image is incomplete.
    const auto cut = ReadPeImage(std::string_view(whole).substr(0, rsrc.rawOffset + 8));
    ASSERT_TRUE(cut.has_value());
    EXPECT_EQ(cut->fileVersion, "");
    EXPECT_FALSE(cut->sectionsFit);
}

TEST(PeImage, OnlyACompleteExecutableOfThisMachineWithAVersionIsInstallable) {
    // The native build stands for the 64-bit Windows build.
    ASSERT_EQ(OwnMachineType(), kMachineAmd64);
    const std::string next = ReadSample("next-x86-64.exe");
    struct Case {
        std::string bytes;
        std::optional<std::string> expected;
        const char* why;
    };
    const Case cases[] = {
        {next, "1.0.13.0", "the real thing"},
        {next.substr(0, next.size() - 100), std::nullopt, "a partial download"},
        {ReadSample("next-i386.exe"), std::nullopt, "a launcher for another machine type"},
        {ReadSample("plain-x86-64.exe"), std::nullopt, "no version to compare"},
        {ReadSample("sample-x86-64.dll"), std::nullopt, "a DLL, not a program"},
        {"not an image", std::nullopt, "no image at all"},
    };
    for (const Case& c : cases) EXPECT_EQ(InstallableLauncherVersion(c.bytes), c.expected) << c.why;
}

struct ToolRun {
    int status;
    std::string output;
};

ToolRun RunPeInfo(const std::string& file) {
    const std::string command = std::string(KLV_TOOLS_DIR) + "/klv-pe-info '" + file + "' 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    ToolRun run{-1, {}};
    if (pipe == nullptr) return run;
    char buffer[4096];
    std::size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) run.output.append(buffer, n);
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

TEST(PeInfoTool, PrintsOneFactPerLine) {
    const ToolRun run = RunPeInfo(SamplePath("next-i386.exe"));
    EXPECT_EQ(run.status, 0);
    const std::string size = std::to_string(ReadSample("next-i386.exe").size());
    const std::string head = "size=" + size +
                             "\nmachine=i386\nsubsystem=gui\nkind=exe\nsections=complete\n"
                             "import=KERNEL32.dll\nimport=msvcrt.dll\nimport=USER32.dll\nfile-version=1.0.13.0\n"
                             "manifest=<?xml ";
    EXPECT_EQ(run.output.substr(0, head.size()), head);
    // The manifest is folded onto its one line, which is the last.
    const std::string manifestLine = run.output.substr(run.output.find("manifest="));
    EXPECT_EQ(manifestLine.find('\n'), manifestLine.size() - 1);
    EXPECT_NE(manifestLine.find("<requestedExecutionLevel level=\"requireAdministrator\" uiAccess=\"false\"/>"),
              std::string::npos);
}

TEST(PeInfoTool, ExitStatusTellsImageNonImageAndUnreadable) {
    test::TempFolder folder;
    const std::string whole = ReadSample("next-x86-64.exe");
    folder.Write("cut.exe", whole.substr(0, whole.size() - 10));
    folder.Write("text.exe", "hello");

    const ToolRun cut = RunPeInfo(folder.native() + "cut.exe");
    EXPECT_EQ(cut.status, 0);
    EXPECT_NE(cut.output.find("\nsections=cut-short\n"), std::string::npos) << cut.output;
    EXPECT_NE(cut.output.find("\nmachine=x86-64\n"), std::string::npos) << cut.output;

    const ToolRun text = RunPeInfo(folder.native() + "text.exe");
    EXPECT_EQ(text.status, 1);
    EXPECT_EQ(text.output, "size=5\n");

    EXPECT_EQ(RunPeInfo(folder.native() + "missing.exe").status, 2);
}

}  // namespace
}  // namespace klv
