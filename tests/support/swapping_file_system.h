#pragma once
// A real file layer that, once, right after listing a chosen folder, runs a
// swap (say: a subfolder moved aside and a link put in its name): the moment
// between the listing and the descent that another user could use, which no
// test could otherwise hit.
#include <functional>
#include <string>
#include <utility>

#include "support/refusing_file_system.h"

namespace klv::test {

class SwappingFileSystem : public RefusingFileSystem {
public:
    SwappingFileSystem(platform::FileSystem& real, std::string folder, std::function<void()> swap)
        : RefusingFileSystem(real), folder_(std::move(folder)), swap_(std::move(swap)) {}

    bool swapped() const { return !swap_; }

    std::optional<std::vector<platform::DirectoryEntry>> TryListFolder(const std::string& folder) override {
        auto entries = RefusingFileSystem::TryListFolder(folder);
        if (swap_ && folder == folder_) std::exchange(swap_, nullptr)();
        return entries;
    }

private:
    std::string folder_;
    std::function<void()> swap_;
};

}  // namespace klv::test
