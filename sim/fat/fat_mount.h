// One call's hold on the FAT volume of a medium: where it lies, its layout
// read from the boot sector just now, and paths walked to their entries.
#pragma once

#include <optional>
#include <span>

#include "sim/fat/fat_directory.h"
#include "sim/files/volume.h"

namespace veldra::sim {

class FatMount {
public:
    // ERROR_NOT_READY without a medium, ERROR_UNRECOGNIZED_VOLUME without a
    // FAT volume on it, or the device's error.
    static DWORD Open(BlockDevice& medium, std::optional<FatMount>* mount);

    FatMount(BlockDevice& medium, const FatPartition& partition, const FatLayout& layout);
    FatMount(const FatMount&) = delete;
    FatMount& operator=(const FatMount&) = delete;

    FatView& View() { return m_view; }
    const FatLayout& Layout() const { return m_layout; }

    // The directory a path (or the first names of one) names;
    // ERROR_PATH_NOT_FOUND when it names none.
    DWORD DirectoryAt(std::span<const std::string> path, std::uint32_t* directory);
    // The entry a path (not the root) names; ERROR_FILE_NOT_FOUND when its
    // directory has no such name.
    DWORD EntryAt(const VolumePath& path, std::uint32_t* parent, std::optional<FatFound>* found);

private:
    DeviceWindow m_window;
    FatLayout m_layout;
    FatTable m_table;
    FatView m_view;
};

}  // namespace veldra::sim
