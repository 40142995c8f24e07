// What can be checked of the self-replacement script without cmd: the split of
// the launcher's path, and that the script's own text is plain ASCII that
// names no path and no program by a bare name, every path coming from its
// environment. What the script does is proven under the real cmd by the
// Windows tests.
#include "selfupdate/self_replacement.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>
#include <string>

namespace klv {
namespace {

std::map<std::string, std::string> EnvironmentOf(const SelfReplacementPaths& paths) {
    std::map<std::string, std::string> variables;
    for (const auto& [name, value] : SelfReplacementEnvironment(paths)) variables[name] = value;
    return variables;
}

TEST(SelfReplacementPaths, SplitTheLauncherAtItsFolder) {
    const char* const cases[][4] = {
        // launcher, its folder, its file name, the working folder it is started in
        {"E:\\My Tools\\KLV Start.exe", "E:\\My Tools\\", "KLV Start.exe", "E:\\My Tools"},
        {"E:\\Kesto.exe", "E:\\", "Kesto.exe", "E:\\"},  // the drive's root keeps its backslash
        // A double-byte name whose trail byte is a backslash is one name.
        {"E:\\\xD7\xC0\\\x81\x5Cstart.exe", "E:\\\xD7\xC0\\", "\x81\x5Cstart.exe", "E:\\\xD7\xC0"},
    };
    for (const auto& c : cases) {
        const SelfReplacementPaths paths =
            MakeSelfReplacementPaths(c[0], "C:\\T\\KLVUpdate\\Kesto.exe", "C:\\T\\KLVUpdate\\", "C:\\W\\", "1.0");
        EXPECT_EQ(paths.folder, c[1]) << c[0];
        EXPECT_EQ(paths.fileName, c[2]) << c[0];
        EXPECT_EQ(paths.script, "C:\\T\\KLVUpdate\\QNUp.bat");
        EXPECT_EQ(EnvironmentOf(paths)["KLV_FOLDER"], c[3]) << c[0];
    }
}

// cmd reads a script in the console's code page and looks for a program
// named bare in the current folder first: the text holds no byte above
// 0x7E, no path, and calls only built-in commands or the system's programs
// by the full paths it is given; every variable it reads is given, and the
// version, which stands unquoted, keeps only digits and dots.
TEST(SelfReplacementScript, PlainAsciiThatNamesNoPathAndNoBareProgram) {
    const SelfReplacementPaths paths =
        MakeSelfReplacementPaths("E:\\100% \xD7\xC0\\KLV Start.exe", "C:\\T\\KLVUpdate\\Kesto.exe",
                                 "C:\\T\\KLVUpdate\\", "C:\\W\\S\\", "1.0.13.0 & del *");
    std::map<std::string, std::string> environment = EnvironmentOf(paths);
    EXPECT_EQ(environment["KLV_VERSION"], "1.0.13.0");
    EXPECT_EQ(environment["KLV_PING"], "C:\\W\\S\\ping.exe");

    const std::set<std::string> builtins = {"@echo", "setlocal", "set",   "copy", "if",   "goto",
                                            "move",  "type",     "start", "del",  "echo", "exit"};
    const std::regex variable("%([A-Za-z_]+)%");
    std::set<std::string> labels, targets;
    for (const std::string& line : SelfReplacementScriptLines()) {
        SCOPED_TRACE(line);
        for (unsigned char c : line) {
            EXPECT_TRUE(c >= 0x20 && c <= 0x7E) << "byte " << int(c);
        }
        EXPECT_EQ(line.find('\\'), line.find("\\*\"")) << "a path in the text";
        for (std::sregex_iterator m(line.begin(), line.end(), variable), end; m != end; ++m) {
            const std::string name = (*m)[1];
            EXPECT_TRUE(name == "tries" || environment.count(name) == 1) << "not given: " << name;
        }
        if (line[0] == ':') {
            labels.insert(line.substr(1));
            continue;
        }
        std::smatch go;
        if (std::regex_search(line, go, std::regex("goto (\\w+)"))) targets.insert(go[1]);
        // Each command of the line: after a redirection prefix, the first word.
        for (const std::string& command :
             {line, line.substr(line.find("& ") == std::string::npos ? 0 : line.find("& ") + 2)}) {
            std::string rest = std::regex_replace(command, std::regex("^>\"[^\"]*\" "), "");
            const std::string word = rest.substr(0, rest.find(' '));
            const bool systemProgram = word == "\"%KLV_PING%\"" || word == "\"%KLV_TASKKILL%\"";
            EXPECT_TRUE(builtins.count(word) == 1 || systemProgram) << "runs " << word;
        }
    }
    for (const std::string& target : targets) EXPECT_EQ(labels.count(target), 1u) << "no label " << target;
}

}  // namespace
}  // namespace klv
