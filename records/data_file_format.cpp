#include "records/data_file_format.h"

#include <cstring>

#include "platform/mbcs.h"

namespace veldra {

std::uint32_t ReadLe32(const BYTE* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

void WriteLe32(BYTE* p, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<BYTE>(value >> (8 * i));
}

namespace {

std::string TextUpTo(const BYTE* begin, std::size_t limit) {
    const void* nul = std::memchr(begin, 0, limit);
    std::size_t length = nul ? static_cast<const BYTE*>(nul) - begin : limit;
    return std::string(reinterpret_cast<const char*>(begin), length);
}

FILETIME ReadFileTime(const BYTE* p) {
    FILETIME t;
    t.dwLowDateTime = ReadLe32(p);
    t.dwHighDateTime = ReadLe32(p + 4);
    return t;
}

}  // namespace

DataFileEntry DataFileEntry::Decode(std::span<const BYTE, HDR_ENTRY_SIZE> bytes) {
    DataFileEntry e;
    e.InUse = bytes[ENTRY_OFFSET_IN_USE];
    e.Kind = bytes[ENTRY_OFFSET_KIND];
    e.Size = ReadLe32(&bytes[ENTRY_OFFSET_SIZE]);
    e.DataOffset = ReadLe32(&bytes[ENTRY_OFFSET_DATA_OFFSET]);
    e.FileTime = ReadFileTime(&bytes[ENTRY_OFFSET_FILE_TIME]);
    e.StartSector = ReadLe32(&bytes[ENTRY_OFFSET_START_SECTOR]);
    e.FileName = TextUpTo(&bytes[ENTRY_OFFSET_FILE_NAME], ENTRY_FILE_NAME_SIZE);
    return e;
}

std::string_view DataFileHeader::Signature() const {
    const char* text = reinterpret_cast<const char*>(bytes.data());
    const void* nul = std::memchr(text, 0, HDR_OFFSET_PROGRAM_NAME);
    // Without a NUL in the first 16 bytes the text runs on into the name; the
    // first 16 bytes plus one more are enough to tell it from the signature.
    std::size_t length = nul ? static_cast<const char*>(nul) - text : HDR_OFFSET_PROGRAM_NAME + 1;
    return std::string_view(text, length);
}

std::string DataFileHeader::ProgramName() const {
    return TextUpTo(&bytes[HDR_OFFSET_PROGRAM_NAME],
                    HDR_PROGRAM_NAME_END - HDR_OFFSET_PROGRAM_NAME);
}

FILETIME DataFileHeader::FileStamp() const {
    return ReadFileTime(&bytes[HDR_OFFSET_FILE_STAMP]);
}

DataFileEntry DataFileHeader::Entry(int i) const {
    // Through the table's own extent, so that where bounds are checked a slot
    // past the last one stops the program instead of reading the next bytes.
    constexpr std::size_t kTableSize = std::size_t{HDR_ENTRY_SIZE} * HDR_MAX_ENTRIES;
    std::span<const BYTE, kTableSize> table(bytes.data() + HDR_OFFSET_ENTRIES, kTableSize);
    return DataFileEntry::Decode(
        table.subspan(HDR_ENTRY_SIZE * static_cast<std::size_t>(i)).first<HDR_ENTRY_SIZE>());
}

std::uint32_t SumHeaderWords(std::span<const BYTE, HDR_SIZE> header) {
    std::uint32_t sum = 0;
    for (std::size_t offset = 0; offset < HDR_SIZE; offset += 4) sum += ReadLe32(&header[offset]);
    return sum;
}

BOOL IsHeaderChecksumValid(const DataFileHeader* header) {
    return SumHeaderWords(header->bytes) == 0xFFFFFFFFu ? TRUE : FALSE;
}

std::uint32_t ComputeHeaderChecksum(std::span<const BYTE, HDR_SIZE> header) {
    std::uint32_t others = SumHeaderWords(header) - ReadLe32(&header[HDR_OFFSET_CHECKSUM]);
    return 0xFFFFFFFFu - others;
}

HeaderFault FindHeaderFault(std::span<const BYTE> bytesRead, std::uint64_t fileSize,
                            std::string_view signature) {
    if (bytesRead.size() < HDR_SIZE) return {HeaderCheck::Length};
    DataFileHeader header;
    std::memcpy(header.bytes.data(), bytesRead.data(), HDR_SIZE);
    if (header.Signature() != signature) return {HeaderCheck::Signature};
    if (!IsHeaderChecksumValid(&header)) return {HeaderCheck::Checksum};
    // More entries than the header has room for would reach past its 2048
    // bytes: such a header cannot have come from a producer.
    if (header.EntryCount() > HDR_MAX_ENTRIES) return {HeaderCheck::EntryCount};
    for (int i = 0; i < header.EntryCount(); ++i) {
        DataFileEntry entry = header.Entry(i);
        if (entry.Kind != ENTRY_ZERO_FILL) {
            std::uint64_t end = HDR_PAYLOAD_BASE + entry.DataOffset + entry.Size;
            if (end > fileSize) return {HeaderCheck::PayloadExtent, i};
        }
        // What the writers act on must stay on the medium: a file in its
        // root, sectors that do not wrap round to its start.
        if (entry.InUse != ENTRY_IN_USE) continue;
        if (entry.Kind == ENTRY_FILE) {
            std::size_t offset = HDR_OFFSET_ENTRIES + HDR_ENTRY_SIZE * static_cast<std::size_t>(i);
            if (!IsPlainRootFileName(std::span<const BYTE>(
                    header.bytes.data() + offset + ENTRY_OFFSET_FILE_NAME, ENTRY_FILE_NAME_SIZE)))
                return {HeaderCheck::FileName, i};
        } else if (!SectorRangeFits(entry, header.BaseSector(), HDR_MIN_SECTOR_SIZE)) {
            return {HeaderCheck::SectorRange, i};
        }
    }
    return {};
}

HeaderVerdict VerdictFor(HeaderCheck check) {
    switch (check) {
        case HeaderCheck::None:
            return HeaderVerdict::Valid;
        case HeaderCheck::Length:
        case HeaderCheck::Signature:
            return HeaderVerdict::NotDataFile;
        default:
            return HeaderVerdict::Broken;
    }
}

const char* HeaderCheckName(HeaderCheck check) {
    switch (check) {
        case HeaderCheck::None:
            return "none";
        case HeaderCheck::Length:
            return "length";
        case HeaderCheck::Signature:
            return "signature";
        case HeaderCheck::Checksum:
            return "checksum";
        case HeaderCheck::EntryCount:
            return "entry-count";
        case HeaderCheck::PayloadExtent:
            return "payload-extent";
        case HeaderCheck::FileName:
            return "file-name";
        case HeaderCheck::SectorRange:
            return "sector-range";
    }
    return "?";
}

HeaderVerdict CheckDataFileHeader(std::span<const BYTE> bytesRead, std::uint64_t fileSize,
                                  std::string_view signature) {
    return VerdictFor(FindHeaderFault(bytesRead, fileSize, signature).check);
}

bool IsPlainRootFileName(std::span<const BYTE> nameField) {
    const void* nul = std::memchr(nameField.data(), 0, nameField.size());
    if (nul == nullptr) return false;
    std::string_view name(reinterpret_cast<const char*>(nameField.data()),
                          static_cast<const BYTE*>(nul) - nameField.data());
    if (name.empty() || name == "." || name == "..") return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        if (IsDbcsLeadByte932(c) && i + 1 < name.size()) {
            ++i;  // a second byte of 0x5C is part of a character, no separator
        } else if (c == '\\' || c == '/' || c == ':') {
            return false;
        }
    }
    // Device names are reserved in every directory, whatever the extension.
    std::string_view stem = name.substr(0, name.find('.'));
    for (const char* device : {"CON", "PRN", "AUX", "NUL"}) {
        if (EqualsIgnoreAsciiCase(stem, device)) return false;
    }
    if (stem.size() == 4 && stem[3] >= '1' && stem[3] <= '9' &&
        (EqualsIgnoreAsciiCase(stem.substr(0, 3), "COM") ||
         EqualsIgnoreAsciiCase(stem.substr(0, 3), "LPT"))) {
        return false;
    }
    return true;
}

bool SectorRangeFits(const DataFileEntry& entry, std::uint32_t baseSector,
                     std::uint32_t sectorSize) {
    constexpr std::uint64_t kSectorLimit = std::uint64_t{1} << 32;
    std::uint64_t first = entry.StartSector;
    if (entry.Kind != ENTRY_SECTORS_ABSOLUTE) first += baseSector;
    std::uint64_t count = sectorSize == 0 ? 0 : entry.Size / sectorSize;
    return first + count <= kSectorLimit && first < kSectorLimit;
}

std::string FileTitleOf(std::string_view path) {
    std::size_t separator = LastBackslash932(path);
    return std::string(separator == std::string_view::npos ? path : path.substr(separator + 1));
}

}  // namespace veldra
