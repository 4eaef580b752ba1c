#include "media/read_back.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "media/sector_plan.h"
#include "media/sector_writer.h"
#include "platform/mbcs.h"
#include "res/message_text.h"
#include "res/resource.h"

namespace veldra {
namespace {

// A name as Windows takes it: trailing dots and blanks are dropped (neither
// is ever the second byte of a double-byte character).
std::string_view AsOpened(std::string_view name) {
    std::size_t end = name.find_last_not_of(". ");
    return name.substr(0, end == std::string_view::npos ? 0 : end + 1);
}

// Names as the root directory compares them: ASCII letters without regard to
// case, the second byte of a double-byte character as it is.
bool SameRootName(std::string_view first, std::string_view second) {
    std::string_view a = AsOpened(first), b = AsOpened(second);
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (IsDbcsLeadByte932(static_cast<unsigned char>(a[i])) && i + 1 < a.size()) {
            if (a[i] != b[i] || a[i + 1] != b[i + 1]) return false;
            ++i;
        } else if (AsciiUpper(a[i]) != AsciiUpper(b[i])) {
            return false;
        }
    }
    return true;
}

StepResult Mismatch(MediaContext& context, const DataFileEntry& entry, int index) {
    MediaReporter& reporter = context.reporter;
    reporter.ShowStopMessage(
        FormatMessageText(reporter.LoadText(IDS_VERIFY_MISMATCH), VerifiedEntryName(entry, index)));
    return StepResult::Failed;
}

StepResult ReadFailed(MediaContext& context) {
    MediaReporter& reporter = context.reporter;
    reporter.ShowStopMessage(
        FormatMessageText(reporter.LoadText(IDS_READ_ERROR), context.dataName));
    return StepResult::Failed;
}

// Reads exactly `bytes` of the data file from offset into buffer.
bool ReadDataFile(MediaContext& context, HANDLE file, std::uint64_t offset, BYTE* buffer,
                  DWORD bytes) {
    if (!SeekFile(context.ports, file, offset)) return false;
    DWORD got = 0;
    return context.ports.files.ReadFile(file, buffer, bytes, &got) && got == bytes;
}

// The sectors one entry of a pass wrote: where, and how many, chunk by chunk
// as the writer cut them.
struct WrittenRange {
    std::uint32_t first = 0;
    std::uint64_t sectors = 0;
};

std::uint64_t WrittenSectors(std::uint32_t size, std::uint32_t bufferSize,
                             std::uint32_t sectorSize) {
    std::uint64_t sectors = 0;
    for (Chunk chunk; (chunk = NextChunk(size, bufferSize, sectorSize)).bytes != 0;) {
        sectors += chunk.sectors;
        size -= chunk.bytes;
    }
    return sectors;
}

class SectorVerifier {
public:
    SectorVerifier(MediaContext& context, CreateTarget& target, BYTE* buffer, int bufferSize,
                   BYTE pass)
        : m_context(context),
          m_target(target),
          m_pBuffer(buffer),
          m_nBufferSize(static_cast<std::uint32_t>(bufferSize)),
          m_pass(pass) {}

    StepResult Verify() {
        const DataFileHeader& header = *m_target.pHeader;
        int entries = std::min<int>(header.EntryCount(), HDR_MAX_ENTRIES);
        std::uint32_t sectorSize = m_target.pDrive->BytesPerSector;
        for (int i = 0; i < entries; ++i) {
            DataFileEntry entry = header.Entry(i);
            EntryPlan plan = PlanEntry(entry, m_pass, header.BaseSector());
            m_writes[i] = plan.write;
            m_ranges[i] = {plan.firstSector,
                           plan.write == EntryWrite::Skip
                               ? 0
                               : WrittenSectors(entry.Size, m_nBufferSize, sectorSize)};
        }
        for (int i = 0; i < entries; ++i) {
            if (m_writes[i] == EntryWrite::Skip) continue;
            DataFileEntry entry = header.Entry(i);
            StepResult result = VerifyEntry(i, entry);
            if (result != StepResult::Done) return result;
            m_context.reporter.StepProgress();
        }
        return StepResult::Done;
    }

private:
    // Whether an entry after `index` in this pass wrote the sector again.
    bool WrittenLater(int index, std::uint64_t sector) const {
        for (int j = index + 1; j < HDR_MAX_ENTRIES; ++j) {
            if (m_writes[j] == EntryWrite::Skip) continue;
            if (sector >= m_ranges[j].first && sector - m_ranges[j].first < m_ranges[j].sectors)
                return true;
        }
        return false;
    }

    // The work buffer holds the data file's bytes in its first half and the
    // medium's in its second, a whole number of sectors each.
    StepResult VerifyEntry(int index, const DataFileEntry& entry) {
        std::uint32_t sectorSize = m_target.pDrive->BytesPerSector;
        std::uint32_t half = m_nBufferSize / 2 / sectorSize * sectorSize;
        if (half == 0) return Mismatch(m_context, entry, index);
        BYTE* expected = m_pBuffer;
        BYTE* found = m_pBuffer + half;
        bool zero = m_writes[index] == EntryWrite::ZeroFill;
        if (zero) std::memset(expected, 0, half);

        std::uint64_t sector = m_ranges[index].first;
        std::uint64_t remaining = m_ranges[index].sectors;
        std::uint64_t offset = HDR_PAYLOAD_BASE + std::uint64_t{entry.DataOffset};
        while (remaining > 0) {
            auto count =
                static_cast<std::uint16_t>(std::min<std::uint64_t>(remaining, half / sectorSize));
            DWORD bytes = DWORD{count} * sectorSize;
            if (!zero && !ReadDataFile(m_context, m_target.hDataFile, offset, expected, bytes))
                return ReadFailed(m_context);
            if (m_context.disk.ReadSectors(*m_target.pDrive, static_cast<std::uint32_t>(sector),
                                           count, found) != SectorRead::Read)
                return Mismatch(m_context, entry, index);
            for (std::uint32_t k = 0; k < count; ++k) {
                std::size_t at = std::size_t{k} * sectorSize;
                if (std::memcmp(expected + at, found + at, sectorSize) != 0 &&
                    !WrittenLater(index, sector + k))
                    return Mismatch(m_context, entry, index);
            }
            sector += count;
            offset += bytes;
            remaining -= count;
        }
        return StepResult::Done;
    }

    MediaContext& m_context;
    CreateTarget& m_target;
    BYTE* m_pBuffer;
    std::uint32_t m_nBufferSize;
    BYTE m_pass;
    std::array<EntryWrite, HDR_MAX_ENTRIES> m_writes{};
    std::array<WrittenRange, HDR_MAX_ENTRIES> m_ranges{};
};

StepResult VerifyFile(MediaContext& context, CreateTarget& target, const DataFileEntry& entry,
                      int index, BYTE* buffer, std::uint32_t bufferSize) {
    DiskPorts& ports = context.ports;
    std::string path = target.strDrive + "\\" + entry.FileName;
    UniqueFileHandle file(ports.system,
                          ports.files.CreateFileA(path.c_str(), GENERIC_READ, 0, OPEN_EXISTING,
                                                  FILE_ATTRIBUTE_NORMAL));
    if (!file) return Mismatch(context, entry, index);
    std::uint32_t half = bufferSize / 2;
    BYTE* expected = buffer;
    BYTE* found = buffer + half;
    std::uint64_t offset = HDR_PAYLOAD_BASE + std::uint64_t{entry.DataOffset};
    std::uint32_t remaining = entry.Size;
    while (remaining > 0) {
        DWORD chunk = std::min(remaining, half);
        if (!ReadDataFile(context, target.hDataFile, offset, expected, chunk))
            return ReadFailed(context);
        DWORD got = 0;
        if (!ports.files.ReadFile(file.get(), found, chunk, &got) || got != chunk ||
            std::memcmp(expected, found, chunk) != 0)
            return Mismatch(context, entry, index);
        remaining -= chunk;
        offset += chunk;
    }
    // The file ends where the payload does.
    DWORD extra = 0;
    if (!ports.files.ReadFile(file.get(), found, 1, &extra) || extra != 0)
        return Mismatch(context, entry, index);
    context.reporter.StepProgress();
    return StepResult::Done;
}

}  // namespace

std::string VerifiedEntryName(const DataFileEntry& entry, int index) {
    if (entry.Kind == ENTRY_FILE) return entry.FileName;
    return "entry " + std::to_string(index);
}

StepResult VerifySectorEntries(MediaContext& context, CreateTarget& target, BYTE* buffer,
                               int bufferSize, BYTE pass) {
    SectorVerifier verifier(context, target, buffer, bufferSize, pass);
    return verifier.Verify();
}

StepResult VerifyFileEntries(MediaContext& context, CreateTarget& target, BYTE* buffer,
                             int bufferSize) {
    const DataFileHeader& header = *target.pHeader;
    int entries = std::min<int>(header.EntryCount(), HDR_MAX_ENTRIES);
    for (int i = 0; i < entries; ++i) {
        DataFileEntry entry = header.Entry(i);
        if (entry.InUse != ENTRY_IN_USE || entry.Kind != ENTRY_FILE) continue;
        bool replacedLater = false;
        for (int j = i + 1; j < entries && !replacedLater; ++j) {
            DataFileEntry later = header.Entry(j);
            replacedLater = later.InUse == ENTRY_IN_USE && later.Kind == ENTRY_FILE &&
                            SameRootName(later.FileName, entry.FileName);
        }
        if (replacedLater) {
            context.reporter.StepProgress();
            continue;
        }
        StepResult result =
            VerifyFile(context, target, entry, i, buffer, static_cast<std::uint32_t>(bufferSize));
        if (result != StepResult::Done) return result;
    }
    return StepResult::Done;
}

}  // namespace veldra
