#pragma once
// A real file layer that, once, right after listing a chosen folder, runs a
// swap (say: a subfolder moved aside and a link put in its name): the moment
// between the listing and the descent that another user could use, which no
// test could otherwise hit. The swap is given the listing, for a system that
// cannot move a link (Wine moves what it leads to): there the link is planted
// beforehand and the swap makes the listing show the folder that was there.
#include <functional>
#include <string>
#include <utility>

#include "support/refusing_file_system.h"

namespace klv::test {

class SwappingFileSystem : public RefusingFileSystem {
public:
    using Swap = std::function<void(std::vector<platform::DirectoryEntry>& listed)>;
    SwappingFileSystem(platform::FileSystem& real, std::string folder, Swap swap)
        : RefusingFileSystem(real), folder_(std::move(folder)), swap_(std::move(swap)) {}

    bool swapped() const { return !swap_; }

    std::optional<std::vector<platform::DirectoryEntry>> TryListFolder(const std::string& folder) override {
        auto entries = RefusingFileSystem::TryListFolder(folder);
        if (swap_ && entries && folder == folder_) std::exchange(swap_, nullptr)(*entries);
        return entries;
    }

private:
    std::string folder_;
    Swap swap_;
};

}  // namespace klv::test
