// The writing rules that need no device: which pass writes an entry and from
// which sector, how entries are cut into transfers, and the layout that
// replaces a stick's partition table.
#include "media/sector_plan.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "media/progress_plan.h"
#include "media/usb_layout.h"

namespace veldra {
namespace {

DataFileEntry Entry(BYTE kind, std::uint32_t start, BYTE inUse = ENTRY_IN_USE) {
    DataFileEntry e;
    e.InUse = inUse;
    e.Kind = kind;
    e.StartSector = start;
    e.Size = 512;
    return e;
}

TEST(SectorPlan, EachPassWritesItsKindsFromTheirFirstSector) {
    struct Row {
        DataFileEntry entry;
        BYTE pass;
        EntryWrite write;
        std::uint32_t first;
    };
    constexpr std::uint32_t kBase = 2048;
    const Row rows[] = {
        {Entry(ENTRY_SECTORS, 10), PASS_IMAGE, EntryWrite::Data, 2058},
        {Entry(ENTRY_SECTORS, 10), PASS_FINAL, EntryWrite::Skip, 2058},
        {Entry(ENTRY_ZERO_FILL, 5), PASS_IMAGE, EntryWrite::ZeroFill, 2053},
        {Entry(ENTRY_ZERO_FILL, 5), PASS_FINAL, EntryWrite::Skip, 2053},
        {Entry(ENTRY_SECTORS_ABSOLUTE, 0), PASS_IMAGE, EntryWrite::Data, 0},
        {Entry(ENTRY_SECTORS_ABSOLUTE, 0), PASS_FINAL, EntryWrite::Data, 0},
        {Entry(ENTRY_FILE, 0), PASS_IMAGE, EntryWrite::Skip, kBase},
        {Entry(0x80, 3), PASS_FINAL, EntryWrite::Skip, 2051},  // reserved, even in pass 0x80
        {Entry(0x07, 3), PASS_IMAGE, EntryWrite::Skip, 2051},
        {Entry(ENTRY_SECTORS, 10, 2), PASS_IMAGE, EntryWrite::Skip, 0},  // in use only when 1
        {Entry(ENTRY_SECTORS_ABSOLUTE, 7, 0), PASS_FINAL, EntryWrite::Skip, 0},
    };
    for (const Row& row : rows) {
        EntryPlan plan = PlanEntry(row.entry, row.pass, kBase);
        SCOPED_TRACE("kind " + std::to_string(row.entry.Kind) + " pass " +
                     std::to_string(row.pass));
        EXPECT_EQ(plan.write, row.write);
        if (plan.write != EntryWrite::Skip) {
            EXPECT_EQ(plan.firstSector, row.first);
        }
    }
}

TEST(SectorPlan, ChunksFillTheBufferAndWriteWholeSectorsOnly) {
    struct Row {
        std::uint32_t remaining, buffer, sectorSize;
        std::uint32_t bytes;
        std::uint16_t sectors;
    };
    const Row rows[] = {
        {200000, 65536, 512, 65536, 128},
        {1000, 65536, 512, 1000, 1},  // the last 488 bytes are read, not written
        {511, 65536, 512, 511, 0},
        {65536, 65536, 4096, 65536, 16},
        {200000, 65536, 1, 65535, 65535},  // never more sectors than a count holds
        {100, 65536, 0, 0, 0},
    };
    for (const Row& row : rows) {
        Chunk chunk = NextChunk(row.remaining, row.buffer, row.sectorSize);
        EXPECT_EQ(chunk.bytes, row.bytes) << row.remaining << "/" << row.sectorSize;
        EXPECT_EQ(chunk.sectors, row.sectors) << row.remaining << "/" << row.sectorSize;
    }
}

// The medium must hold one sector past the last any entry writes: relative
// entries from the base sector, absolute ones where they say, whole sectors
// only; files, reserved kinds and slots out of use write none.
TEST(SectorPlan, TheMediumNeedsOnePastTheLastSectorWritten) {
    struct Slot {
        BYTE inUse, kind;
        std::uint32_t size, start;
    };
    const struct {
        std::vector<Slot> slots;
        std::uint32_t base;
        std::uint64_t needed;
    } rows[] = {
        {{{1, ENTRY_SECTORS, 1024, 10}, {1, ENTRY_SECTORS_ABSOLUTE, 512, 2000}}, 2048, 2060},
        {{{1, ENTRY_SECTORS_ABSOLUTE, 512, 5000}, {1, ENTRY_SECTORS, 512, 0}}, 2048, 5001},
        {{{1, ENTRY_ZERO_FILL, 0x30000, 0}}, 100, 484},
        {{{1, ENTRY_SECTORS, 1000, 10}, {1, ENTRY_SECTORS, 511, 90}}, 0, 11},
        {{{1, ENTRY_FILE, 4096, 900}, {1, 0x07, 512, 900}, {0, ENTRY_SECTORS, 512, 900}}, 0, 0},
    };
    for (const auto& row : rows) {
        DataFileHeader header;
        for (std::size_t i = 0; i < row.slots.size(); ++i) {
            BYTE* e = &header.bytes[HDR_OFFSET_ENTRIES + i * HDR_ENTRY_SIZE];
            e[0] = row.slots[i].inUse;
            e[1] = row.slots[i].kind;
            WriteLe32(e + 2, row.slots[i].size);
            WriteLe32(e + 18, row.slots[i].start);
        }
        header.bytes[HDR_OFFSET_ENTRY_COUNT] = static_cast<BYTE>(row.slots.size());
        WriteLe32(&header.bytes[HDR_OFFSET_BASE_SECTOR], row.base);
        EXPECT_EQ(SectorsNeeded(header), row.needed) << row.needed;
    }
}

TEST(UsbLayout, KeepsTheSignatureAndMarksEveryEntryForRewriting) {
    std::array<BYTE, kDriveLayoutBufferSize> layout;
    layout.fill(0xAB);
    const DWORD signature = 0x12345678;
    std::memcpy(layout.data() + 4, &signature, 4);
    BuildEmptyLayout(layout);
    DWORD count = 0, kept = 0;
    std::memcpy(&count, layout.data(), 4);
    std::memcpy(&kept, layout.data() + 4, 4);
    EXPECT_EQ(count, 4u);
    EXPECT_EQ(kept, signature);
    for (DWORD i = 0; i < kDriveLayoutEntries; ++i) {
        // RewritePartition follows two offsets, two numbers and three flags.
        const BYTE* entry = layout.data() + 8 + 32 * i;
        for (int b = 0; b < 32; ++b) {
            ASSERT_EQ(entry[b], b == 27 ? 1 : 0) << "entry " << i << " byte " << b;
        }
    }
}

// One step per entry in use and per 64 KB of a zero fill; with read-back, one
// more per entry read back, two for an absolute entry (read back after each
// pass). Reserved kinds count once and are never read back.
TEST(ProgressPlan, CountsTheWritingStepsAndWithReadBackItsStepsToo) {
    DataFileHeader header;
    struct Slot {
        BYTE inUse;
        BYTE kind;
        std::uint32_t size;
    };
    const Slot slots[] = {{1, ENTRY_SECTORS_ABSOLUTE, 512},
                          {1, ENTRY_ZERO_FILL, 0x30000},
                          {1, ENTRY_SECTORS, 1024},
                          {1, ENTRY_FILE, 10},
                          {1, 0x07, 512},
                          {0, ENTRY_SECTORS, 512},
                          {1, ENTRY_SECTORS, 512}};  // past the entry count
    for (std::size_t i = 0; i < std::size(slots); ++i) {
        BYTE* e = &header.bytes[HDR_OFFSET_ENTRIES + i * HDR_ENTRY_SIZE];
        e[0] = slots[i].inUse;
        e[1] = slots[i].kind;
        WriteLe32(e + 2, slots[i].size);
    }
    header.bytes[HDR_OFFSET_ENTRY_COUNT] = static_cast<BYTE>(std::size(slots) - 1);
    EXPECT_EQ(ProgressTotal(header), 1 + 5 + 3);
    EXPECT_EQ(ProgressTotal(header, true), 1 + 5 + 3 + (2 + 1 + 1 + 1));
}

}  // namespace
}  // namespace veldra
