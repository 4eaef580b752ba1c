// A blank formatted 1.44 MB floppy, as a format program leaves it: a FAT12
// boot sector, two empty FATs and an empty root directory. The Create command
// needs a formatted medium in the floppy drive; this one is made here rather
// than by a tool nobody here controls.
#pragma once

#include <cstdint>
#include <vector>

namespace veldra {

inline constexpr std::uint64_t kFloppyBytes = 1474560;

std::vector<std::uint8_t> BlankFloppyImage();

}  // namespace veldra
