#pragma once
// The shell special folders the launcher knows, by table index.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace klv {

// Every shell special-folder id from 0x00 to 0x3D, in ascending order, but
// the unassigned 0x0F, 0x32, 0x33, 0x34 and 0x3C.
extern const std::array<std::uint8_t, 57> SpecialFolderIds;

// The index of 0x23, the application-data folder shared by all users.
inline constexpr std::size_t kCommonAppDataIndex = 34;

// The file-system path of SpecialFolderIds[index], without a trailing
// backslash; empty when the shell gives none. index is 0 to 56.
std::string SpecialFolderPath(std::size_t index);

}  // namespace klv
