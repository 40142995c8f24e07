// What can be checked of the self-replacement script without cmd: the split of
// the launcher's path, the quoting of every path, the file's bytes, and its
// writing over an old script. What the script does is proven under the real
// cmd by the Windows tests.
#include "selfupdate/self_replacement.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/file_system.h"
#include "support/temp_folder.h"

namespace klv {
namespace {

// The script's lines as cmd reads them: cut at each CR LF.
std::vector<std::string> LinesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t begin = 0;
    for (std::size_t end; (end = text.find("\r\n", begin)) != std::string::npos; begin = end + 2)
        lines.push_back(text.substr(begin, end - begin));
    if (begin < text.size()) lines.push_back(text.substr(begin));
    return lines;
}

TEST(SelfReplacementPaths, SplitTheLauncherAtItsFolder) {
    const char* const cases[][3] = {
        {"E:\\My Tools\\KLV Start.exe", "E:\\My Tools\\", "KLV Start.exe"},
        {"E:\\Kesto.exe", "E:\\", "Kesto.exe"},  // the drive's root keeps its backslash
        {"E:Kesto.exe", "E:", "Kesto.exe"},      // drive-relative: split at the colon
        // A double-byte name whose trail byte is a backslash is one name.
        {"E:\\\xD7\xC0\\\x81\x5Cstart.exe", "E:\\\xD7\xC0\\", "\x81\x5Cstart.exe"},
    };
    for (const auto& c : cases) {
        const SelfReplacementPaths paths = MakeSelfReplacementPaths(c[0], "C:\\T\\Kesto.exe", "C:\\T\\");
        EXPECT_EQ(paths.folder, c[1]) << c[0];
        EXPECT_EQ(paths.fileName, c[2]) << c[0];
        EXPECT_EQ(paths.script, "C:\\T\\QNUp.bat");
    }
}

// cmd splits an unquoted path at its blanks and expands "%" even between
// quotes: every path must stand alone between quotes with each "%" doubled.
// Checked on the bytes as cmd reads them, without knowing the commands.
TEST(SelfReplacementScript, EveryPathIsQuotedWithItsPercentSignsDoubled) {
    const char* const cases[][2] = {
        {"E:\\100% KLV\\%x% Start.exe", "C:\\Temp %TEMP%\\"},
        {"E:\\\xD7\xC0 %\\\x81\x5Cstart.exe", "C:\\Local Settings\\Temp\\"},
    };
    const std::regex singlePercent("(^|[^%])(%%)*%(?!%)");
    for (const auto& c : cases) {
        const SelfReplacementPaths paths = MakeSelfReplacementPaths(c[0], std::string(c[1]) + "Kesto.exe", c[1]);
        std::set<std::string> quoted;
        for (const std::string& line : LinesOf(SelfReplacementScript(paths))) {
            SCOPED_TRACE(line);
            ASSERT_EQ(std::count(line.begin(), line.end(), '"') % 2, 0) << "a quote left open";
            std::istringstream parts(line);  // outside, inside, outside... the quotes
            std::string part;
            for (bool inside = false; std::getline(parts, part, '"'); inside = !inside) {
                if (inside) {
                    EXPECT_FALSE(std::regex_search(part, singlePercent)) << "a single % in " << part;
                    quoted.insert(std::regex_replace(part, std::regex("%%"), "%"));
                } else {
                    // The commands, and only the counter's "%".
                    part = std::regex_replace(part, std::regex("%tries%"), "");
                    EXPECT_EQ(part.find_first_of("\\%"), std::string::npos) << "a path outside quotes: " << part;
                }
            }
        }
        for (const std::string& path : {paths.executable, paths.fetched, paths.folder, paths.fileName, paths.script})
            EXPECT_EQ(quoted.count(path), 1u) << "never quoted alone: " << path;
    }
}

// The file as cmd reads it: CR LF after every line, none empty, and code page
// 936 bytes as they are (not UTF-8).
TEST(SelfReplacementScript, FileIsCrLfLinesOfCodePageBytes) {
    const std::string folder = "E:\\\xD7\xC0\xC3\xE6\\";
    const std::string text =
        SelfReplacementScript(MakeSelfReplacementPaths(folder + "Kesto.exe", "C:\\T\\Kesto.exe", "C:\\T\\"));
    std::string rebuilt;
    for (const std::string& line : LinesOf(text)) {
        EXPECT_FALSE(line.empty());
        EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << "a bare CR or LF in " << line;
        rebuilt += line + "\r\n";
    }
    EXPECT_EQ(rebuilt, text) << "the last line has no CR LF";
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
