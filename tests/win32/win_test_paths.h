#pragma once
// Paths of the build tree as a Windows program under Wine sees them: Wine maps
// the Linux root to drive Z:.
#include <string>

namespace klv::test {

inline std::string WinePathOf(const std::string& unixPath) {
    std::string out = "Z:";
    for (char c : unixPath) out += c == '/' ? '\\' : c;
    return out;
}

// Folder of the small subject programs built beside the Windows tests.
inline std::string SubjectProgram(const std::string& name) {
    return WinePathOf(KLV_WIN_PROGRAMS_DIR) + "\\" + name;
}

}  // namespace klv::test
