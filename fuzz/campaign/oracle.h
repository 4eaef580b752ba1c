// The campaign's oracle, written apart from media/ and disk/: it reads the
// data file itself, applies its entries to a copy of the medium its own way
// (the stick's empty partition table, the sector entries at their sectors,
// the file entries and the floppy's finishing at the file system's level),
// walks the run's faults and the operator's answers, and says how the
// creation must end and what the medium must hold when it succeeds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/campaign/creation.h"
#include "fuzz/campaign/fat_reader.h"

namespace veldra::campaign {

enum class Outcome { Declined, Fails, Succeeds };

struct ExpectedFile {
    std::string name;
    std::uint8_t attributes = 0;
    std::string bytes;
    // The FAT times it must hold; none: the time it was written, which the
    // machine's clock decides (a time FAT cannot hold was refused).
    std::optional<FatFile> times;
    // Without them, the creation time of the file it replaced, which an
    // overwrite keeps, when that is known.
    std::optional<FatFile> created;
};

// The sectors a medium must have for the data file: up to the last whole
// sector any sector or zero-fill entry in use writes.
std::uint64_t SectorsNeeded(const std::string& dataFile);

class Oracle {
public:
    Oracle(const Creation& creation, const Device& target);

    Outcome Expected() const { return m_outcome; }
    const std::string& Reason() const { return m_reason; }  // why it must fail or stop
    bool Untouched() const { return !m_touched; }           // the medium must be as it was
    // The volume the file entries went to, when there is one.
    const std::optional<FatVolume>& Volume() const { return m_volume; }

    // For a run that failed: empty when every byte of the medium outside what
    // the run may have written by the point where it failed is as it went in.
    std::string JudgeFailure(const std::string& medium) const;
    // A failed run left a file system that fsck.fat must find sound: the
    // files were being written on the volume the first pass made, and the
    // medium stayed in.
    bool FileSystemExpected() const { return m_fileStep && m_volume && !m_pulled; }

    // Empty when the medium holds what the data file says; else what differs.
    // The run's clock went from start to end (FILETIME).
    std::string Judge(const std::string& medium, std::uint64_t clockStart,
                      std::uint64_t clockEnd) const;

private:
    struct Entry {
        std::uint8_t inUse = 0, kind = 0;
        std::uint32_t size = 0, dataOffset = 0, start = 0;
        std::uint64_t fileTime = 0;
        std::string name;
    };

    void Parse();
    void Walk();
    bool WritePass(bool final);
    bool Write(std::uint32_t sector, std::uint32_t count, const char* data);
    bool Read(std::uint64_t sector);
    bool Seek(std::uint64_t sector);
    bool Flush();
    void MayWrite(std::uint64_t fromByte, std::uint64_t toByte);
    bool CopyFiles();
    bool Stamp();
    std::optional<FatVolume> VolumeOf(const std::string& image) const;
    bool Fail(const std::string& reason);

    const Creation& m_creation;
    const Device& m_target;
    // The data file as read here.
    std::uint8_t m_contentKind = 0;
    std::uint32_t m_base = 0;
    std::uint64_t m_stamp = 0;
    std::vector<Entry> m_entries;

    std::string m_image;  // the medium below the file system, as the run leaves it
    int m_rawWrites = 0, m_failedWrites = 0, m_fileWrites = 0, m_filesWritten = 0;
    int m_seeks = 0, m_transfers = 0;  // through the device handle, reads and writes
    int m_flushes = 0;                 // that reached the device, of its handle or a file's
    bool m_pulled = false, m_touched = false, m_fileStep = false;
    std::vector<bool> m_mayWrite;             // sectors the run may have written so far
    std::vector<std::string> m_corruptFiles;  // files holding a lie of the device
    std::vector<std::uint64_t> m_corrupt;     // sectors holding a lie of the device
    std::vector<bool> m_final;                // sectors the final pass wrote
    bool m_finalPass = false;
    std::size_t m_answer = 0;             // retry questions asked
    std::optional<FatVolume> m_volume;    // after the first pass
    std::vector<ExpectedFile> m_root;     // the root after the files and the finishing
    std::vector<std::string> m_replaced;  // files of the run that a later entry replaced
    Outcome m_outcome = Outcome::Succeeds;
    std::string m_reason;
};

}  // namespace veldra::campaign
