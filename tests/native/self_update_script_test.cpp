// The self-replacement script's text, line by line, for the launcher's
// awkward places (blanks, a drive's root folder, double-byte and "%" names),
// and its writing into the temporary folder over an old script.
#include "selfupdate/self_replacement.h"

#include <gtest/gtest.h>

#include "platform/error.h"
#include "platform/file_system.h"
#include "support/temp_folder.h"

namespace klv {
namespace {

using Lines = std::vector<std::string>;

TEST(SelfReplacementScript, WorkedExampleLineByLine) {
    const SelfReplacementPaths paths =
        MakeSelfReplacementPaths("E:\\Tools\\Kesto.exe", "C:\\TEMP\\Kesto.exe", "C:\\TEMP\\");
    EXPECT_EQ(paths.folder, "E:\\Tools\\");
    EXPECT_EQ(paths.fileName, "Kesto.exe");
    EXPECT_EQ(paths.script, "C:\\TEMP\\QNUp.bat");
    const Lines expected = {
        "@echo off",
        "setlocal enableextensions disabledelayedexpansion",
        "set tries=0",
        ":copy",
        R"(copy /y "C:\TEMP\Kesto.exe" "E:\Tools\Kesto.exe.new" >nul 2>nul)",
        "if errorlevel 1 goto copyagain",
        R"(copy /y "E:\Tools\Kesto.exe" "E:\Tools\Kesto.exe.old" >nul 2>nul)",
        "if errorlevel 1 goto copyagain",
        R"(if not exist "E:\Tools\Kesto.exe.new\*" if not exist "E:\Tools\Kesto.exe.old\*" goto swap)",
        ":copyagain",
        "set /a tries+=1",
        "if %tries% geq 60 goto keep",
        "ping -n 2 127.0.0.1 >nul",
        "goto copy",
        ":swap",
        "set tries=0",
        ":replace",
        R"(move /y "E:\Tools\Kesto.exe.new" "E:\Tools\Kesto.exe" >nul 2>nul)",
        "if not errorlevel 1 goto done",
        R"(if not exist "E:\Tools\Kesto.exe" goto keep)",
        "set /a tries+=1",
        "if %tries% geq 60 goto keep",
        "ping -n 2 127.0.0.1 >nul",
        "goto replace",
        ":keep",
        R"(if not exist "E:\Tools\Kesto.exe" if not exist "E:\Tools\Kesto.exe.old\*" move /y "E:\Tools\Kesto.exe.old" "E:\Tools\Kesto.exe" >nul 2>nul)",
        R"(if exist "E:\Tools\Kesto.exe" if not exist "E:\Tools\Kesto.exe.old\*" del "E:\Tools\Kesto.exe.old" >nul 2>nul)",
        R"(if not exist "E:\Tools\Kesto.exe.new\*" del "E:\Tools\Kesto.exe.new" >nul 2>nul)",
        "goto start",
        ":done",
        R"(del "E:\Tools\Kesto.exe.old" >nul 2>nul)",
        R"(del "C:\TEMP\Kesto.exe")",
        ":start",
        R"(cd /d "E:\Tools\")",
        R"(start "" "Kesto.exe")",
        R"(del "C:\TEMP\QNUp.bat")",
    };
    const Lines lines = SelfReplacementScriptLines(paths);
    ASSERT_EQ(lines.size(), expected.size());
    for (std::size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(lines[i], expected[i]) << "line " << i + 1;
}

// The lines that carry a path, for the cases below: the copy of the new
// launcher beside the old one, the swap, the clean-up of the fetched file, the
// folder, the start, the script.
struct PathLines {
    std::string copy, move, delFetched, cd, start, delScript;
};

PathLines PathLinesOf(const Lines& lines) {
    PathLines out;
    for (const std::string& line : lines) {
        if (line.rfind("copy ", 0) == 0 && out.copy.empty()) out.copy = line;
        if (line.rfind("move ", 0) == 0) out.move = line;
        if (line.rfind("cd ", 0) == 0) out.cd = line;
        if (line.rfind("start ", 0) == 0) out.start = line;
    }
    // The fetched file goes right after ":done"; the script is the last line.
    for (std::size_t i = 0; i + 2 < lines.size(); ++i)
        if (lines[i] == ":done") out.delFetched = lines[i + 2];
    out.delScript = lines.back();
    return out;
}

TEST(SelfReplacementScript, AwkwardPlacesOfTheLauncher) {
    struct Case {
        const char* executable;
        const char* temp;
        PathLines expected;
        const char* why;
    };
    const Case cases[] = {
        {"E:\\My Tools\\Kesto.exe",
         "C:\\TEMP\\",
         {R"(copy /y "C:\TEMP\Kesto.exe" "E:\My Tools\Kesto.exe.new" >nul 2>nul)",
          R"(move /y "E:\My Tools\Kesto.exe.new" "E:\My Tools\Kesto.exe" >nul 2>nul)", R"(del "C:\TEMP\Kesto.exe")",
          R"(cd /d "E:\My Tools\")", R"(start "" "Kesto.exe")", R"(del "C:\TEMP\QNUp.bat")"},
         "a blank in the folder: every path is quoted"},
        {"E:\\Tools\\KLV Start.exe",
         "C:\\TEMP\\",
         {R"(copy /y "C:\TEMP\Kesto.exe" "E:\Tools\KLV Start.exe.new" >nul 2>nul)",
          R"(move /y "E:\Tools\KLV Start.exe.new" "E:\Tools\KLV Start.exe" >nul 2>nul)", R"(del "C:\TEMP\Kesto.exe")",
          R"(cd /d "E:\Tools\")", R"(start "" "KLV Start.exe")", R"(del "C:\TEMP\QNUp.bat")"},
         "a blank in the file name: unquoted, start would run a program called KLV"},
        {"E:\\Kesto.exe",
         "C:\\TEMP\\",
         {R"(copy /y "C:\TEMP\Kesto.exe" "E:\Kesto.exe.new" >nul 2>nul)",
          R"(move /y "E:\Kesto.exe.new" "E:\Kesto.exe" >nul 2>nul)", R"(del "C:\TEMP\Kesto.exe")", R"(cd /d "E:\")",
          R"(start "" "Kesto.exe")", R"(del "C:\TEMP\QNUp.bat")"},
         "the drive's root folder keeps its backslash"},
        {"E:Kesto.exe",
         "C:\\TEMP\\",
         {R"(copy /y "C:\TEMP\Kesto.exe" "E:Kesto.exe.new" >nul 2>nul)",
          R"(move /y "E:Kesto.exe.new" "E:Kesto.exe" >nul 2>nul)", R"(del "C:\TEMP\Kesto.exe")", R"(cd /d "E:")",
          R"(start "" "Kesto.exe")", R"(del "C:\TEMP\QNUp.bat")"},
         "a drive-relative path splits at the colon"},
        {"E:\\\xD7\xC0\xC3\xE6\\\x81\x5C"
         "start.exe",
         "C:\\TEMP\\",
         {"copy /y \"C:\\TEMP\\Kesto.exe\" \"E:\\\xD7\xC0\xC3\xE6\\\x81\x5C"
          "start.exe.new\" >nul 2>nul",
          "move /y \"E:\\\xD7\xC0\xC3\xE6\\\x81\x5C"
          "start.exe.new\" \"E:\\\xD7\xC0\xC3\xE6\\\x81\x5C"
          "start.exe\" >nul 2>nul",
          R"(del "C:\TEMP\Kesto.exe")", "cd /d \"E:\\\xD7\xC0\xC3\xE6\\\"",
          "start \"\" \"\x81\x5C"
          "start.exe\"",
          R"(del "C:\TEMP\QNUp.bat")"},
         "a double-byte name whose trail byte is a backslash does not split"},
        {"E:\\100% KLV\\Kesto.exe",
         "C:\\Temp %x%\\",
         {R"(copy /y "C:\Temp %%x%%\Kesto.exe" "E:\100%% KLV\Kesto.exe.new" >nul 2>nul)",
          R"(move /y "E:\100%% KLV\Kesto.exe.new" "E:\100%% KLV\Kesto.exe" >nul 2>nul)",
          R"(del "C:\Temp %%x%%\Kesto.exe")", R"(cd /d "E:\100%% KLV\")", R"(start "" "Kesto.exe")",
          R"(del "C:\Temp %%x%%\QNUp.bat")"},
         "cmd expands percent signs inside quotes too"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        const std::string fetched = std::string(c.temp) + "Kesto.exe";
        const PathLines got =
            PathLinesOf(SelfReplacementScriptLines(MakeSelfReplacementPaths(c.executable, fetched, c.temp)));
        EXPECT_EQ(got.copy, c.expected.copy);
        EXPECT_EQ(got.move, c.expected.move);
        EXPECT_EQ(got.delFetched, c.expected.delFetched);
        EXPECT_EQ(got.cd, c.expected.cd);
        EXPECT_EQ(got.start, c.expected.start);
        EXPECT_EQ(got.delScript, c.expected.delScript);
    }
}

TEST(SelfReplacementScript, BothWaitsAreBoundedByTheTries) {
    const SelfReplacementPaths paths = MakeSelfReplacementPaths("E:\\Kesto.exe", "C:\\T\\Kesto.exe", "C:\\T\\");
    const Lines lines = SelfReplacementScriptLines(paths, 7);
    int bounds = 0, pauses = 0;
    for (const std::string& line : lines) {
        if (line == "if %tries% geq 7 goto keep") ++bounds;
        if (line.rfind("ping -n 2 127.0.0.1", 0) == 0) ++pauses;
    }
    // A wait without a bound spins for ever; one without a pause spins hot.
    EXPECT_EQ(bounds, 2);
    EXPECT_EQ(pauses, 2);
}

TEST(SelfReplacementScript, FileIsEightBitLinesEachEndedByCrLf) {
    const SelfReplacementPaths paths =
        MakeSelfReplacementPaths("E:\\\xD7\xC0\xC3\xE6\\Kesto.exe", "C:\\TEMP\\Kesto.exe", "C:\\TEMP\\");
    const Lines lines = SelfReplacementScriptLines(paths);
    std::string expected;
    for (const std::string& line : lines) {
        // No stray blank at either end, no line break inside a line.
        EXPECT_FALSE(line.empty());
        EXPECT_NE(line.front(), ' ');
        EXPECT_NE(line.back(), ' ');
        EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos);
        expected += line + "\r\n";
    }
    EXPECT_EQ(SelfReplacementScript(paths), expected);
    // Code page 936 bytes go as they are, not as UTF-8.
    EXPECT_NE(expected.find("\xD7\xC0\xC3\xE6"), std::string::npos);
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
