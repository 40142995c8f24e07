#pragma once
// What a Windows executable says about itself, read from its bytes: the
// machine it was built for, its subsystem, whether its sections are all in the
// file, the DLLs it imports, the file version of its version resource and its
// application manifest. Pure code, so that a fetched launcher can be judged,
// and the shipped one checked, on any system.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace klv {

inline constexpr std::uint16_t kMachineI386 = 0x014C;
inline constexpr std::uint16_t kMachineAmd64 = 0x8664;
inline constexpr std::uint16_t kSubsystemGui = 2;
inline constexpr std::uint16_t kSubsystemConsole = 3;
// File header characteristics.
inline constexpr std::uint16_t kImageExecutable = 0x0002;
inline constexpr std::uint16_t kImageDll = 0x2000;

struct PeImage {
    std::uint16_t machine = 0;
    std::uint16_t characteristics = 0;
    std::uint16_t subsystem = 0;
    // Every section's data lies inside the file: false for a download cut
    // short, whose headers promise more than arrived.
    bool sectionsFit = false;
    // In the order of the import table, as the image spells them.
    std::vector<std::string> importedDlls;
    // "a.b.c.d" from the fixed file information of the version resource,
    // empty when there is none.
    std::string fileVersion;
    // The bytes of the application manifest resource, when there is one.
    std::optional<std::string> manifest;

    // Where a signature lives, and what its digest leaves out. The optional
    // header's CheckSum field: 4 bytes at this file offset.
    std::uint64_t checksumOffset = 0;
    // The certificate table's entry in the data directories (the fifth, 8
    // bytes at this file offset; 0 when the header declares fewer
    // directories) and the table it names. Unlike every other directory it
    // holds a file offset, not an address in the loaded image; both 0 when
    // the image is not signed. Neither is checked against the file's size.
    std::uint64_t certificateEntryOffset = 0;
    std::uint32_t certificateTableOffset = 0;
    std::uint32_t certificateTableSize = 0;
};

// Nothing when `bytes` is not a Windows image at all: no DOS or PE signature,
// an unknown optional header, or headers cut off. Tables that point outside
// the file are read as far as they are inside it.
std::optional<PeImage> ReadPeImage(std::string_view bytes);

// The machine type of the images this build produces: the launcher accepts
// only a replacement that its own system runs the way it runs itself.
constexpr std::uint16_t OwnMachineType() {
    return sizeof(void*) == 8 ? kMachineAmd64 : kMachineI386;
}

// "i386", "x86-64", or the number in hex for any other machine.
std::string MachineName(std::uint16_t machine);
// "gui", "console", or the number for any other subsystem.
std::string SubsystemName(std::uint16_t subsystem);

}  // namespace klv
