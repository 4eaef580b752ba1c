// Directories of a FAT volume: walking their entries (the fixed root of
// FAT12/16 or a cluster chain), putting long names together, finding a name
// and making new entries. Every walk is bounded, so a directory whose chain
// loops ends like one that is merely long.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "sim/fat/fat_entry.h"
#include "sim/fat/fat_table.h"

namespace veldra::sim {

// One call's view of a mounted volume.
struct FatView {
    BlockDevice& volume;
    const FatLayout& layout;
    FatTable& table;
};

// A directory is named by its first cluster; 0 is the fixed root of FAT12/16.
std::uint32_t RootDirectory(const FatLayout& layout);
std::uint32_t FirstCluster(const FatLayout& layout, const std::uint8_t* entry);
void SetFirstCluster(const FatLayout& layout, std::uint8_t* entry, std::uint32_t cluster);

// A live entry of a directory.
struct FatFound {
    std::string name;                             // as a listing shows it: long name, else 8.3
    std::optional<std::string> shortText;         // the 8.3 name, when it is text
    std::array<std::uint8_t, kEntryBytes> entry;  // the short entry
    std::uint64_t offset = 0;                     // where the short entry lies on the volume

    bool IsDirectory() const { return (entry[11] & kAttrDirectory) != 0; }
};

// Each live entry in directory order (no labels, deleted entries, "." or
// ".."), until visit returns true.
DWORD ForEachEntry(FatView& view, std::uint32_t directory,
                   const std::function<bool(const FatFound&)>& visit);
// The entry whose long or short name is `name`, without regard to case.
DWORD FindEntry(FatView& view, std::uint32_t directory, const std::string& name,
                std::optional<FatFound>* found);
// A new entry called `name`: the short entry is `entry` with its name set
// (the name itself when it is an upper-case 8.3 name, else a derived unique
// one under long-name entries). *offset gets where the short entry lies.
DWORD CreateEntry(FatView& view, std::uint32_t directory, const std::string& name,
                  std::array<std::uint8_t, kEntryBytes> entry, std::uint64_t* offset);

DWORD ReadEntry(FatView& view, std::uint64_t offset, std::uint8_t* entry);
DWORD WriteEntry(FatView& view, std::uint64_t offset, const std::uint8_t* entry);

}  // namespace veldra::sim
