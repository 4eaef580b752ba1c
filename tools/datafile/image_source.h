// Data files made from what producers have: a floppy image, or a disk image
// with an MBR in front (a hybrid ISO image, a stick's dump). The image is
// taken whole: its sectors become sector entries, runs of zero sectors zero
// fills so the data file stays small, and nothing that holds data is left out.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tools/datafile/datafile_writer.h"

namespace veldra {

inline constexpr std::uint32_t IMAGE_SECTOR_SIZE = 512;

// Zero runs shorter than this stay inside the data around them: a fill entry
// for every stray zero sector would use up the 37 entries.
inline constexpr std::uint64_t MIN_ZERO_RUN_DEFAULT = 8;

// The most sectors one entry's 32-bit Size can cover.
inline constexpr std::uint64_t ENTRY_MAX_SECTORS = 0xFFFFFFFFu / IMAGE_SECTOR_SIZE;

// Sectors [first, first + count) of the image, all zero or kept as data.
struct SectorRun {
    std::uint64_t first = 0;
    std::uint64_t count = 0;
    bool zero = false;

    bool operator==(const SectorRun&) const = default;
};

// Splits sectors `first` .. `first + zero.size() - 1` into runs: every run of
// at least minZeroRun zero sectors is a zero run, everything between them a
// data run. Zero runs longer than ENTRY_MAX_SECTORS are split into several.
// When that makes more than maxEntries runs, the shortest zero runs (the
// earlier of equal ones) go into the data around them until the runs fit;
// when even one data run over everything does not fit (maxEntries 0), that
// one run is returned and the caller refuses.
std::vector<SectorRun> PlanSectorRuns(const std::vector<bool>& zero, std::uint64_t first,
                                      std::uint64_t minZeroRun, std::size_t maxEntries);

enum class ImageLayout {
    Floppy,  // sector 0 is the boot sector; every sector is taken
    Disk,    // sector 0 is an MBR; taken to its last partition's end or last data
};

// A host file that becomes a file entry.
struct ImageFileEntry {
    std::string name;  // code page 932
    std::filesystem::path hostPath;
    std::optional<FILETIME> time;  // the stamp when not given
};

struct ImageDataFileOptions {
    ImageLayout layout = ImageLayout::Floppy;
    std::filesystem::path image;
    std::string programName;  // code page 932
    BYTE mediaKind = 0;
    BYTE contentKind = CONTENT_LOGGED;
    FILETIME stamp;  // all zero: no stamp
    std::vector<ImageFileEntry> files;
    std::uint64_t minZeroRun = MIN_ZERO_RUN_DEFAULT;
};

// Reads the image and the files and builds the model: sector 0 as an absolute
// entry, the runs from sector 1 as sector and zero-fill entries at their own
// sector numbers (BaseSector 0), then the files. A floppy image is taken to
// its end; a disk image to the end of the last partition its MBR lists or of
// its last sector that is not all zero, whichever is later (what follows is
// all zero). Throws DataFileError for anything the format cannot hold or the
// image does not provide, among them sectors that no entry is left for;
// payloads are read only once the layout fits.
DataFileSpec DataFileFromImage(const ImageDataFileOptions& options);

}  // namespace veldra
