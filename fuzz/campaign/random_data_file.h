// Random valid data files. Each is built around a formatted volume the way a
// producer's would be (the boot sector, the FATs, the root and the clusters of
// the files it already holds, with zero fills around them), then salted with
// what the format also allows: entries out of use, reserved kinds, writes to
// free clusters and outside the volume, file entries with names, sizes and
// times within FAT's limits, and now and then an entry past the medium.
#pragma once

#include <cstdint>
#include <string>

#include "fuzz/campaign/creation.h"

namespace veldra::campaign {

// A formatted volume of this many sectors, with a few files of every
// attribute or none; made once with mkfs.fat and mtools and kept. FAT32 asks
// for one of 65525 clusters or more.
const std::string& VolumeTemplate(std::uint32_t sectors, bool withFiles, bool fat32 = false);
// A blank formatted 1.44 MB floppy, or one holding those files.
const std::string& FloppyTemplate(bool withFiles);

// A data file for a floppy or a USB program, checked by the program's own
// reader before it is used (throws std::logic_error otherwise).
std::string RandomDataFile(Dice& dice, bool usbProgram);

}  // namespace veldra::campaign
