#include "support/temp_folder.h"

#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace klv::test {
namespace {

std::string ToNative(const std::string& name) {
    std::string out = name;
    for (char& c : out)
        if (c == '\\') c = '/';
    return out;
}

}  // namespace

TempFolder::TempFolder() {
    const char* base = getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/klv-test-XXXXXX";
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    native_ = pattern + "/";
    path_ = native_;
    for (char& c : path_)
        if (c == '/') c = '\\';
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    // Read-only files and folders must not stop the clean-up.
    for (auto it = std::filesystem::recursive_directory_iterator(native_, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored))
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                     ignored);
    std::filesystem::remove_all(native_, ignored);
}

void TempFolder::Write(const std::string& name, const std::string& content) const {
    const std::filesystem::path p = native_ + ToNative(name);
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << content;
}

std::string TempFolder::Read(const std::string& name) const {
    std::ifstream in(native_ + ToNative(name), std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::vector<std::string> TempFolder::Files() const {
    std::vector<std::string> names;
    std::error_code ignored;
    for (auto it = std::filesystem::recursive_directory_iterator(native_, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
        if (it->is_directory(ignored)) continue;
        std::string name = it->path().string().substr(native_.size());
        for (char& c : name)
            if (c == '/') c = '\\';
        names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool TempFolder::Exists(const std::string& name) const {
    return std::filesystem::exists(native_ + ToNative(name));
}

}  // namespace klv::test
