// The data file header on its own: checksum, the reader's verdicts, the file
// title of a path and the program name field.
#include "records/data_file_format.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace veldra {
namespace {

constexpr char kSignature[] = "NOVUS-KT DATA";

// The sum is taken here independently of the code under test, so that a
// wrong sum there cannot seal headers it then accepts.
std::uint32_t IndependentSum(const std::vector<BYTE>& header, std::size_t words) {
    std::uint32_t sum = 0;
    for (std::size_t w = 0; w < words; ++w) {
        const BYTE* p = &header[4 * w];
        sum += p[0] + (p[1] << 8) + (p[2] << 16) + (static_cast<std::uint32_t>(p[3]) << 24);
    }
    return sum;
}

void Seal(std::vector<BYTE>& header) {
    WriteLe32(&header[HDR_OFFSET_CHECKSUM], 0xFFFFFFFFu - IndependentSum(header, 511));
}

std::vector<BYTE> BlankHeader() {
    std::vector<BYTE> header(HDR_SIZE, 0);
    std::memcpy(header.data(), kSignature, sizeof kSignature);
    Seal(header);
    return header;
}

void PutEntry(std::vector<BYTE>& header, int i, BYTE kind, std::uint32_t size,
              std::uint32_t dataOffset, BYTE inUse = ENTRY_IN_USE) {
    BYTE* entry = &header[HDR_OFFSET_ENTRIES + HDR_ENTRY_SIZE * i];
    entry[ENTRY_OFFSET_IN_USE] = inUse;
    entry[ENTRY_OFFSET_KIND] = kind;
    WriteLe32(entry + ENTRY_OFFSET_SIZE, size);
    WriteLe32(entry + ENTRY_OFFSET_DATA_OFFSET, dataOffset);
    if (kind == ENTRY_FILE) std::memcpy(entry + ENTRY_OFFSET_FILE_NAME, "FILE.BIN", 9);
}

HeaderVerdict Check(const std::vector<BYTE>& bytes, std::uint64_t fileSize) {
    return CheckDataFileHeader(bytes, fileSize, kSignature);
}

DataFileHeader AsHeader(const std::vector<BYTE>& bytes) {
    DataFileHeader header;
    std::memcpy(header.bytes.data(), bytes.data(), HDR_SIZE);
    return header;
}

bool ChecksumValid(const std::vector<BYTE>& bytes) {
    DataFileHeader header = AsHeader(bytes);
    return IsHeaderChecksumValid(&header) == TRUE;
}

TEST(HeaderChecksum, WordsSummingToAllOnesAreValid) {
    std::vector<BYTE> header = BlankHeader();
    EXPECT_EQ(SumHeaderWords(AsHeader(header).bytes), 0xFFFFFFFFu);
    EXPECT_TRUE(ChecksumValid(header));
}

TEST(HeaderChecksum, FirstWordsSummingToOneNeedExactlyFFFFFFFE) {
    // Once as a plain 1, once as a sum that wraps round to 1.
    std::vector<BYTE> plain(HDR_SIZE, 0);
    plain[0] = 1;
    std::vector<BYTE> wrapping(HDR_SIZE, 0);
    WriteLe32(&wrapping[0], 0xFFFFFFFFu);
    WriteLe32(&wrapping[1000], 2);
    for (std::vector<BYTE> header : {plain, wrapping}) {
        EXPECT_EQ(ComputeHeaderChecksum(AsHeader(header).bytes), 0xFFFFFFFEu);
        for (std::uint32_t stored :
             {0xFFFFFFFEu, 0xFFFFFFFFu, 0xFFFFFFFDu, 0u, 0xFEFFFFFFu, 0x7FFFFFFEu}) {
            WriteLe32(&header[HDR_OFFSET_CHECKSUM], stored);
            EXPECT_EQ(ChecksumValid(header), stored == 0xFFFFFFFEu) << std::hex << stored;
        }
    }
}

TEST(HeaderChecksum, WordsAreLittleEndian) {
    std::vector<BYTE> header(HDR_SIZE, 0);
    header[3] = 1;  // the word 0x01000000
    EXPECT_EQ(ComputeHeaderChecksum(AsHeader(header).bytes), 0xFEFFFFFFu);
}

TEST(HeaderVerdicts, AHeaderAloneWithNoEntriesIsValid) {
    EXPECT_EQ(Check(BlankHeader(), HDR_SIZE), HeaderVerdict::Valid);
}

TEST(HeaderVerdicts, OneByteShortIsNoDataFile) {
    std::vector<BYTE> header = BlankHeader();
    header.pop_back();
    EXPECT_EQ(Check(header, HDR_SIZE - 1), HeaderVerdict::NotDataFile);
}

TEST(HeaderVerdicts, TheSignatureIsComparedUpToItsNul) {
    struct Row {
        const char* text;  // the first 16 bytes
        HeaderVerdict verdict;
    };
    const Row rows[] = {
        {"NOVUS-KT DATA\0\0\0", HeaderVerdict::Valid},
        {"NOVUS-KT DATA\0XY", HeaderVerdict::Valid},  // after the NUL nothing counts
        {"NOVUS-KT DATAX\0\0", HeaderVerdict::NotDataFile},
        {"NOVUS-KT DATAXYZ", HeaderVerdict::NotDataFile},
        {"novus-kt data\0\0\0", HeaderVerdict::NotDataFile},
        {"NOVUS-KT DAT\0\0\0\0", HeaderVerdict::NotDataFile},
        {"\0OVUS-KT DATA\0\0\0", HeaderVerdict::NotDataFile},
    };
    for (const Row& row : rows) {
        std::vector<BYTE> header(HDR_SIZE, 0);
        std::memcpy(header.data(), row.text, 16);
        header[HDR_OFFSET_PROGRAM_NAME] = 'P';  // text that runs on must not match either
        Seal(header);
        EXPECT_EQ(Check(header, HDR_SIZE), row.verdict) << std::string(row.text, 16);
    }
}

TEST(HeaderVerdicts, AnySingleChangedByteIsCaught) {
    std::vector<BYTE> sealed = BlankHeader();
    PutEntry(sealed, 0, ENTRY_SECTORS, 512, 0);
    sealed[HDR_OFFSET_ENTRY_COUNT] = 1;
    Seal(sealed);
    ASSERT_EQ(Check(sealed, HDR_SIZE + 512), HeaderVerdict::Valid);
    for (std::size_t offset = 0; offset < HDR_SIZE; ++offset) {
        std::vector<BYTE> changed = sealed;
        changed[offset] ^= 0x01;
        // A change within the signature or its NUL makes it no data file at all.
        HeaderVerdict expected =
            offset <= sizeof kSignature - 1 ? HeaderVerdict::NotDataFile : HeaderVerdict::Broken;
        ASSERT_EQ(Check(changed, HDR_SIZE + 512), expected) << "offset " << offset;
    }
}

TEST(HeaderVerdicts, MoreEntriesThanFitIsBrokenWithoutReadingPastTheHeader) {
    std::vector<BYTE> header = BlankHeader();
    // Every slot holds an entry that passes on its own, so only the count is wrong.
    for (int i = 0; i < HDR_MAX_ENTRIES; ++i) PutEntry(header, i, ENTRY_ZERO_FILL, 512, 0);
    header[HDR_OFFSET_ENTRY_COUNT] = HDR_MAX_ENTRIES;
    Seal(header);
    ASSERT_EQ(Check(header, HDR_SIZE), HeaderVerdict::Valid);

    header[HDR_OFFSET_ENTRY_COUNT] = HDR_MAX_ENTRIES + 1;
    Seal(header);
    // Slot 37 would reach past offset 2047; the sanitizer build catches such a read.
    EXPECT_EQ(Check(header, HDR_SIZE), HeaderVerdict::Broken);
    header[HDR_OFFSET_ENTRY_COUNT] = 255;
    Seal(header);
    EXPECT_EQ(Check(header, HDR_SIZE), HeaderVerdict::Broken);
}

TEST(HeaderVerdicts, EveryKindButZeroFillMustHaveItsPayloadInTheFile) {
    struct Row {
        BYTE kind;
        BYTE inUse;
        std::uint32_t size;
        std::uint32_t dataOffset;
        std::uint64_t fileSize;
        HeaderVerdict verdict;
    };
    const Row rows[] = {
        {ENTRY_ZERO_FILL, 1, 0xFFFFFFFFu, 0, HDR_SIZE, HeaderVerdict::Valid},
        {ENTRY_ZERO_FILL, 1, 0x10000000u, 0x7FFFFFFFu, HDR_SIZE, HeaderVerdict::Valid},
        {ENTRY_SECTORS, 1, 0xFFFFFFFFu, 0, HDR_SIZE, HeaderVerdict::Broken},
        {ENTRY_SECTORS, 1, 0x10000000u, 0x7FFFFFFFu, HDR_SIZE, HeaderVerdict::Broken},
        {ENTRY_SECTORS_ABSOLUTE, 1, 512, 0, HDR_SIZE + 511, HeaderVerdict::Broken},
        {ENTRY_FILE, 1, 10, 100, HDR_SIZE + 109, HeaderVerdict::Broken},
        {0x07, 1, 512, 0, HDR_SIZE, HeaderVerdict::Broken},           // reserved kinds count too
        {ENTRY_SECTORS, 0, 512, 0, HDR_SIZE, HeaderVerdict::Broken},  // and unused entries
        // Ending exactly at the end of the file is fine.
        {ENTRY_SECTORS, 1, 512, 0, HDR_SIZE + 512, HeaderVerdict::Valid},
        {ENTRY_FILE, 1, 10, 100, HDR_SIZE + 110, HeaderVerdict::Valid},
        {ENTRY_SECTORS, 1, 0, 0, HDR_SIZE, HeaderVerdict::Valid},
        // The end lies beyond 4 GiB; a 32-bit sum would wrap and let it pass.
        {ENTRY_SECTORS, 1, 0x800u, 0xFFFFF800u, HDR_SIZE, HeaderVerdict::Broken},
        {ENTRY_SECTORS, 1, 0xFFFFFFFFu, 0xFFFFFFFFu, HDR_SIZE, HeaderVerdict::Broken},
    };
    for (const Row& row : rows) {
        std::vector<BYTE> header = BlankHeader();
        PutEntry(header, 0, ENTRY_ZERO_FILL, 512, 0);
        PutEntry(header, 1, row.kind, row.size, row.dataOffset, row.inUse);
        header[HDR_OFFSET_ENTRY_COUNT] = 2;
        Seal(header);
        EXPECT_EQ(Check(header, row.fileSize), row.verdict)
            << "kind " << int{row.kind} << " in use " << int{row.inUse} << " size " << row.size
            << " offset " << row.dataOffset << " file " << row.fileSize;
    }
}

TEST(HeaderVerdicts, EntriesPastTheCountAreNotExamined) {
    std::vector<BYTE> header = BlankHeader();
    PutEntry(header, 0, ENTRY_SECTORS, 512, 0);
    PutEntry(header, 1, ENTRY_SECTORS, 0xFFFFFFFFu, 0);
    header[HDR_OFFSET_ENTRY_COUNT] = 1;
    Seal(header);
    EXPECT_EQ(Check(header, HDR_SIZE + 512), HeaderVerdict::Valid);
}

// A file entry names a file in the medium's root, nothing else: the field
// must hold a plain name and its NUL.
TEST(HeaderVerdicts, AFileEntryMustNameAPlainFileInTheRoot) {
    struct Row {
        std::string field;  // the 30 bytes, NUL-padded when shorter
        bool inUse;
        HeaderVerdict verdict;
    };
    const Row rows[] = {
        {"COMMAND.COM", true, HeaderVerdict::Valid},
        {"\x83\x5C\x83\x74\x83\x67.TXT", true, HeaderVerdict::Valid},  // "ソフト": 0x5C inside
        {"\x95\x5C", true, HeaderVerdict::Valid},  // "表": the name ends on a second byte 0x5C
        {"COM10", true, HeaderVerdict::Valid},
        {"CONFIG.SYS", true, HeaderVerdict::Valid},
        {"", true, HeaderVerdict::Broken},
        {std::string(30, 'A'), true, HeaderVerdict::Broken},  // no NUL within the field
        {"..\\AUTOEXEC.BAT", true, HeaderVerdict::Broken},
        {"SUB/FILE.TXT", true, HeaderVerdict::Broken},
        {"C:FILE.TXT", true, HeaderVerdict::Broken},
        {".", true, HeaderVerdict::Broken},
        {"..", true, HeaderVerdict::Broken},
        {"con", true, HeaderVerdict::Broken},
        {"NUL.TXT", true, HeaderVerdict::Broken},
        {"Lpt1.prn", true, HeaderVerdict::Broken},
        {"COM9", true, HeaderVerdict::Broken},
        {"AUX", false, HeaderVerdict::Valid},  // never written
    };
    for (const Row& row : rows) {
        std::vector<BYTE> header = BlankHeader();
        PutEntry(header, 0, ENTRY_FILE, 0, 0, row.inUse ? ENTRY_IN_USE : 0);
        BYTE* name = &header[std::size_t{HDR_OFFSET_ENTRIES} + ENTRY_OFFSET_FILE_NAME];
        std::memset(name, 0, ENTRY_FILE_NAME_SIZE);
        std::memcpy(name, row.field.data(), std::min<std::size_t>(row.field.size(), 30));
        header[HDR_OFFSET_ENTRY_COUNT] = 1;
        Seal(header);
        EXPECT_EQ(Check(header, HDR_SIZE), row.verdict) << row.field;
    }
}

// Sector numbers never wrap to the start of the medium.
TEST(HeaderVerdicts, SectorEntriesMustEndBelowSector2To32) {
    struct Row {
        BYTE kind;
        std::uint32_t start;
        std::uint32_t base;
        std::uint32_t size;
        HeaderVerdict verdict;
    };
    const Row rows[] = {
        {ENTRY_ZERO_FILL, 0xFFFFFFFFu, 0, 512, HeaderVerdict::Valid},  // the last sector
        {ENTRY_ZERO_FILL, 0xFFFFFFFFu, 0, 1024, HeaderVerdict::Broken},
        {ENTRY_ZERO_FILL, 0xFFFFFFFFu, 0, 1023, HeaderVerdict::Valid},  // one whole sector
        {ENTRY_ZERO_FILL, 0xFFFFFF00u, 0x100, 0, HeaderVerdict::Broken},
        {ENTRY_ZERO_FILL, 0xFFFFFE00u, 0x100, 0x20000, HeaderVerdict::Valid},
        {ENTRY_SECTORS_ABSOLUTE, 0xFFFFFFFFu, 0x100, 0, HeaderVerdict::Valid},  // no base
        {ENTRY_SECTORS_ABSOLUTE, 0xFFFFFFFFu, 0, 1024, HeaderVerdict::Broken},
    };
    for (const Row& row : rows) {
        std::vector<BYTE> header = BlankHeader();
        PutEntry(header, 0, row.kind, row.size, 0);
        WriteLe32(&header[std::size_t{HDR_OFFSET_ENTRIES} + ENTRY_OFFSET_START_SECTOR], row.start);
        WriteLe32(&header[HDR_OFFSET_BASE_SECTOR], row.base);
        header[HDR_OFFSET_ENTRY_COUNT] = 1;
        Seal(header);
        EXPECT_EQ(Check(header, HDR_SIZE + row.size), row.verdict)
            << "kind " << int{row.kind} << " start " << row.start << " base " << row.base
            << " size " << row.size;
    }
}

// The failing check comes with the entry it concerns, and entries are checked
// one after the other: an earlier entry's fault is the one named.
TEST(HeaderFaults, NameTheFirstFailingCheckAndItsEntry) {
    auto header = [](auto change) {
        std::vector<BYTE> h = BlankHeader();
        PutEntry(h, 0, ENTRY_SECTORS, 512, 0);
        PutEntry(h, 1, ENTRY_FILE, 0, 0);
        PutEntry(h, 2, ENTRY_ZERO_FILL, 512, 0);
        h[HDR_OFFSET_ENTRY_COUNT] = 3;
        change(h);
        Seal(h);
        return h;
    };
    BYTE* (*entry)(std::vector<BYTE>&, int) = [](std::vector<BYTE>& h, int i) {
        return &h[HDR_OFFSET_ENTRIES + HDR_ENTRY_SIZE * static_cast<std::size_t>(i)];
    };
    auto noChange = [](std::vector<BYTE>&) {};
    std::vector<BYTE> shortHeader = header(noChange);
    shortHeader.resize(HDR_SIZE - 1);
    std::vector<BYTE> badSum = header(noChange);
    badSum[HDR_OFFSET_CHECKSUM] ^= 1;
    struct Row {
        std::vector<BYTE> bytes;
        std::uint64_t fileSize;
        HeaderCheck check;
        int entry;
    };
    const Row rows[] = {
        {header(noChange), HDR_SIZE + 512, HeaderCheck::None, -1},
        {shortHeader, HDR_SIZE + 512, HeaderCheck::Length, -1},
        {header([](std::vector<BYTE>& h) { h[0] = 'n'; }), HDR_SIZE + 512, HeaderCheck::Signature,
         -1},
        {badSum, HDR_SIZE + 512, HeaderCheck::Checksum, -1},
        {header([](std::vector<BYTE>& h) { h[HDR_OFFSET_ENTRY_COUNT] = 38; }), HDR_SIZE + 512,
         HeaderCheck::EntryCount, -1},
        {header(noChange), HDR_SIZE + 511, HeaderCheck::PayloadExtent, 0},
        {header([&](std::vector<BYTE>& h) { entry(h, 1)[ENTRY_OFFSET_FILE_NAME] = '\\'; }),
         HDR_SIZE + 512, HeaderCheck::FileName, 1},
        {header([&](std::vector<BYTE>& h) {
             WriteLe32(&h[HDR_OFFSET_BASE_SECTOR], 0xFFFFFFFFu);
             WriteLe32(entry(h, 0) + ENTRY_OFFSET_START_SECTOR, 1);
         }),
         HDR_SIZE + 512, HeaderCheck::SectorRange, 0},
        // Entry 0's range comes before entry 1's payload, entry 2's payload before its range.
        {header([&](std::vector<BYTE>& h) {
             WriteLe32(&h[HDR_OFFSET_BASE_SECTOR], 0xFFFFFFFFu);
             WriteLe32(entry(h, 0) + ENTRY_OFFSET_START_SECTOR, 1);
             WriteLe32(entry(h, 1) + ENTRY_OFFSET_SIZE, 1024);
         }),
         HDR_SIZE + 512, HeaderCheck::SectorRange, 0},
        {header([&](std::vector<BYTE>& h) {
             entry(h, 2)[ENTRY_OFFSET_KIND] = ENTRY_SECTORS_ABSOLUTE;
             WriteLe32(entry(h, 2) + ENTRY_OFFSET_START_SECTOR, 0xFFFFFFFFu);
             WriteLe32(entry(h, 2) + ENTRY_OFFSET_SIZE, 1024);
         }),
         HDR_SIZE + 512, HeaderCheck::PayloadExtent, 2},
    };
    for (std::size_t r = 0; r < std::size(rows); ++r) {
        SCOPED_TRACE(r);
        HeaderFault fault = FindHeaderFault(rows[r].bytes, rows[r].fileSize, kSignature);
        EXPECT_EQ(fault.check, rows[r].check);
        EXPECT_EQ(fault.entry, rows[r].entry);
        EXPECT_EQ(Check(rows[r].bytes, rows[r].fileSize), VerdictFor(fault.check));
    }
}

TEST(FileTitle, IsTheTextAfterTheLastRealBackslash) {
    struct Row {
        std::string path;
        std::string title;
    };
    // 0x95 0x5C is "表" and 0x83 0x5C is "ソ": their second byte is a backslash.
    const Row rows[] = {
        {"PROG.DAT", "PROG.DAT"},
        {"", ""},
        {"C:\\TAVEX\\PROG.DAT", "PROG.DAT"},
        {"SUB\\PROG.DAT", "PROG.DAT"},
        {"C:\\TAVEX\\", ""},
        {"\\", ""},
        {"C:\\\x95\x5C\\\x83\x5C.DAT", "\x83\x5C.DAT"},
        {"C:\\DIR\\\x95\x5C", "\x95\x5C"},
        {"\x83\x5C\x83\x5C", "\x83\x5C\x83\x5C"},
        // Half-width katakana are single bytes; the backslash after one separates.
        {"C:\\\xB1\\X.DAT", "X.DAT"},
        // A lead byte as the very last byte has no second byte to skip.
        {"A\\\x81", "\x81"},
    };
    for (const Row& row : rows) EXPECT_EQ(FileTitleOf(row.path), row.title) << row.path;
}

TEST(ProgramName, EndsAtItsNulOrAtOffset81) {
    DataFileHeader header;
    std::memset(&header.bytes[HDR_OFFSET_PROGRAM_NAME], 'A', 65);
    header.bytes[HDR_OFFSET_CONTENT_KIND] = 'Z';
    header.bytes[82] = 'Z';
    EXPECT_EQ(header.ProgramName(), std::string(65, 'A'));

    header.bytes[HDR_OFFSET_PROGRAM_NAME + 4] = 0;
    EXPECT_EQ(header.ProgramName(), "AAAA");

    header.bytes[HDR_OFFSET_PROGRAM_NAME] = 0;
    EXPECT_EQ(header.ProgramName(), "");
}

}  // namespace
}  // namespace veldra
