// What can be checked of the self-replacement script without cmd: the split of
// the launcher's path, the quoting of every path, the file's bytes, and its
// writing over an old script. What the script does is proven under the real
// cmd by the Windows tests.
#include "selfupdate/self_replacement.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/file_system.h"
#include "support/temp_folder.h"

namespace klv {
namespace {

// The script's bytes cut at each CR LF; a lone CR or LF stays inside a line.
std::vector<std::string> LinesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t begin = 0;
    for (std::size_t end; (end = text.find("\r\n", begin)) != std::string::npos; begin = end + 2)
        lines.push_back(text.substr(begin, end - begin));
    if (begin < text.size()) lines.push_back(text.substr(begin));
    return lines;
}

std::string Undoubled(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        out += text[i];
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == '%') ++i;
    }
    return out;
}

TEST(SelfReplacementPaths, SplitTheLauncherAtItsFolder) {
    struct Case {
        const char* executable;
        const char* folder;
        const char* fileName;
    };
    const Case cases[] = {
        {"E:\\My Tools\\KLV Start.exe", "E:\\My Tools\\", "KLV Start.exe"},
        {"E:\\Kesto.exe", "E:\\", "Kesto.exe"},  // the drive's root keeps its backslash
        {"E:Kesto.exe", "E:", "Kesto.exe"},      // drive-relative: split at the colon
        {"E:\\a\\b.c\\Kesto", "E:\\a\\b.c\\", "Kesto"},
        // A double-byte name whose trail byte is a backslash is one name.
        {"E:\\\xD7\xC0\\\x81\x5C"
         "start.exe",
         "E:\\\xD7\xC0\\",
         "\x81\x5C"
         "start.exe"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.executable);
        const SelfReplacementPaths paths = MakeSelfReplacementPaths(c.executable, "C:\\T\\Kesto.exe", "C:\\T\\");
        EXPECT_EQ(paths.folder, c.folder);
        EXPECT_EQ(paths.fileName, c.fileName);
        EXPECT_EQ(paths.script, "C:\\T\\QNUp.bat");
    }
}

// cmd splits an unquoted path at its blanks and expands "%" even between
// quotes: every path must stand alone between quotes with each "%" doubled.
// Checked on the bytes as cmd reads them, without knowing the commands.
TEST(SelfReplacementScript, EveryPathIsQuotedWithItsPercentSignsDoubled) {
    struct Case {
        const char* executable;
        const char* temp;
    };
    const Case cases[] = {
        {"E:\\100% KLV\\%x% Start.exe", "C:\\Temp %TEMP%\\"},
        {"E:\\\xD7\xC0 %\\\x81\x5C"
         "start.exe",
         "C:\\TEMP\\"},
        {"E:\\Kesto.exe", "C:\\Local Settings\\Temp\\"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.executable);
        const SelfReplacementPaths paths =
            MakeSelfReplacementPaths(c.executable, std::string(c.temp) + "Kesto.exe", c.temp);
        const std::string named[] = {paths.executable, paths.fetched, paths.folder, paths.fileName, paths.script};
        std::set<std::string> wholeSegments;
        for (const std::string& line : LinesOf(SelfReplacementScript(paths, 5))) {
            SCOPED_TRACE(line);
            std::vector<std::string> segments(1);
            for (char ch : line) {
                if (ch == '"')
                    segments.emplace_back();
                else
                    segments.back() += ch;
            }
            ASSERT_EQ(segments.size() % 2, 1u) << "a quote left open";
            for (std::size_t i = 0; i < segments.size(); ++i) {
                const std::string& segment = segments[i];
                if (i % 2 == 0) {
                    // Between the quoted paths: the commands, and only the counter's "%".
                    std::string rest = segment;
                    for (std::size_t at; (at = rest.find("%tries%")) != std::string::npos;) rest.erase(at, 7);
                    EXPECT_EQ(rest.find_first_of("\\%"), std::string::npos) << "a path outside quotes";
                    continue;
                }
                std::size_t run = 0;
                for (char ch : segment + ' ') {
                    if (ch == '%') {
                        ++run;
                        continue;
                    }
                    EXPECT_EQ(run % 2, 0u) << "a single % in " << segment;
                    run = 0;
                }
                const std::string path = Undoubled(segment);
                if (path.empty()) continue;  // the window title of start
                wholeSegments.insert(path);
                EXPECT_TRUE(std::any_of(std::begin(named), std::end(named),
                                        [&](const std::string& n) { return path.rfind(n, 0) == 0; }))
                    << "not one of the launcher's paths: " << path;
            }
        }
        for (const std::string& n : named) EXPECT_EQ(wholeSegments.count(n), 1u) << "never named alone: " << n;
    }
}

// The file as cmd reads it: CR LF after every line, no empty line, and code
// page 936 bytes as they are (not UTF-8).
TEST(SelfReplacementScript, FileIsCrLfLinesOfCodePageBytes) {
    const std::string folder = "E:\\\xD7\xC0\xC3\xE6\\";
    const SelfReplacementPaths paths =
        MakeSelfReplacementPaths(folder + "Kesto.exe", "C:\\TEMP\\Kesto.exe", "C:\\TEMP\\");
    const std::string text = SelfReplacementScript(paths);
    ASSERT_GE(text.size(), 2u);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    EXPECT_NE(text.substr(0, 2), "\r\n");
    EXPECT_EQ(text.find("\r\n\r\n"), std::string::npos) << "an empty line";
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') {
            EXPECT_TRUE(i > 0 && text[i - 1] == '\r') << "a bare LF at byte " << i;
        }
        if (text[i] == '\r') {
            EXPECT_TRUE(i + 1 < text.size() && text[i + 1] == '\n') << "a bare CR at byte " << i;
        }
    }
    EXPECT_NE(text.find("\"" + folder), std::string::npos);
}

TEST(SelfReplacementScript, WritingReplacesAnOldScript) {
    test::TempFolder temp;
    temp.Write("QNUp.bat", std::string(10000, 'x') + "\r\nformat c:\r\n");
    const SelfReplacementPaths paths =
        MakeSelfReplacementPaths("E:\\Tools\\Kesto.exe", temp.path() + "Kesto.exe", temp.path());
    ASSERT_EQ(paths.script, temp.path() + "QNUp.bat");
    WriteSelfReplacementScript(platform::RealFileSystem(), paths);
    // Nothing of the longer old file may survive after the new text.
    EXPECT_EQ(temp.Read("QNUp.bat"), SelfReplacementScript(paths));
}

TEST(SelfReplacementScript, AScriptThatCannotBeWrittenRaises) {
    test::TempFolder temp;
    temp.Write("QNUp.bat", "old");
    ASSERT_TRUE(platform::RealFileSystem().SetReadOnly(temp.path() + "QNUp.bat", true));
    const SelfReplacementPaths paths =
        MakeSelfReplacementPaths("E:\\Tools\\Kesto.exe", temp.path() + "Kesto.exe", temp.path());
    EXPECT_THROW(WriteSelfReplacementScript(platform::RealFileSystem(), paths), EFCreateError);
    EXPECT_EQ(temp.Read("QNUp.bat"), "old");
    platform::RealFileSystem().SetReadOnly(temp.path() + "QNUp.bat", false);
}

}  // namespace
}  // namespace klv
