#pragma once
// A FolderCopyView that keeps the texts of the boxes the copy shows, for the
// copy's tests (native and under Wine). Header-only so that both test
// binaries can use it.
#include <string>
#include <vector>

#include "install/folder_tree.h"

namespace klv::test {

class RecordingCopyView : public FolderCopyView {
public:
    void ShowCopyFailure(const std::string& text) override { boxes.push_back(text); }
    std::vector<std::string> boxes;
};

}  // namespace klv::test
