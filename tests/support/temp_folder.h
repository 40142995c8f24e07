#pragma once
// A real temporary folder for one test, removed with everything in it when the
// test ends. `path()` is in the core's form: backslashes, ending in one.
#include <string>
#include <vector>

namespace klv::test {

class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // Core form, e.g. "\tmp\klv-test-ab12\" (backslashes, trailing backslash).
    const std::string& path() const { return path_; }
    // The same folder as a POSIX path with a trailing slash.
    const std::string& native() const { return native_; }

    // Writes a file below the folder (name in core form, sub-folders created).
    void Write(const std::string& name, const std::string& content) const;
    std::string Read(const std::string& name) const;
    bool Exists(const std::string& name) const;
    // Every file below the folder (folders themselves not), as names in core
    // form relative to it, sorted: what a fault must leave exactly as it was.
    std::vector<std::string> Files() const;

private:
    std::string native_;
    std::string path_;
};

}  // namespace klv::test
