// klv-pe-info FILE: what a Windows image says about itself, one fact per line,
// for scripts that check a build before it ships:
//
//   size=BYTES
//   machine=i386 | x86-64 | 0xNNNN
//   subsystem=gui | console | N
//   kind=exe | dll | object
//   sections=complete | cut-short
//   import=NAME            (one line per imported DLL, in table order)
//   file-version=a.b.c.d   (empty when there is no version resource)
//   manifest=TEXT          (the application manifest on one line; absent when none)
//
// Exit status: 0 for a Windows image, 1 for a file that is not one, 2 when the
// file cannot be read.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "pe/pe_image.h"

namespace {

// Line breaks and tabs become single blanks, so the manifest is one line.
std::string OneLine(const std::string& text) {
    std::string out;
    for (char c : text) {
        const bool blank = c == '\r' || c == '\n' || c == '\t' || c == ' ';
        if (blank) {
            if (!out.empty() && out.back() != ' ') out += ' ';
        } else if (c != '\0') {
            out += c;
        }
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: klv-pe-info FILE\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "klv-pe-info: cannot read %s\n", argv[1]);
        return 2;
    }
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const auto image = klv::ReadPeImage(bytes);
    std::printf("size=%zu\n", bytes.size());
    if (!image) {
        std::fprintf(stderr, "klv-pe-info: %s is not a Windows image\n", argv[1]);
        return 1;
    }
    std::printf("machine=%s\n", klv::MachineName(image->machine).c_str());
    std::printf("subsystem=%s\n", klv::SubsystemName(image->subsystem).c_str());
    const char* kind = (image->characteristics & klv::kImageDll) != 0          ? "dll"
                       : (image->characteristics & klv::kImageExecutable) != 0 ? "exe"
                                                                               : "object";
    std::printf("kind=%s\n", kind);
    std::printf("sections=%s\n", image->sectionsFit ? "complete" : "cut-short");
    for (const std::string& dll : image->importedDlls) std::printf("import=%s\n", dll.c_str());
    std::printf("file-version=%s\n", image->fileVersion.c_str());
    if (image->manifest) std::printf("manifest=%s\n", OneLine(*image->manifest).c_str());
    return 0;
}
