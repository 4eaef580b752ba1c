#include "media/sector_writer.h"

#include <cstring>

#include "media/sector_plan.h"
#include "res/fixed_text.h"
#include "res/message_text.h"
#include "res/resource.h"

namespace veldra {
namespace {

class SectorWriter {
public:
    SectorWriter(MediaContext& context, CreateTarget& target, BYTE* buffer, int bufferSize,
                 const WriterSettings& settings)
        : m_context(context),
          m_target(target),
          m_pBuffer(buffer),
          m_nBufferSize(static_cast<std::uint32_t>(bufferSize)),
          m_settings(settings) {}

    StepResult Write(BYTE pass) {
        const DataFileHeader& header = *m_target.pHeader;
        int entries = std::min<int>(header.EntryCount(), HDR_MAX_ENTRIES);
        for (int i = 0; i < entries; ++i) {
            DataFileEntry entry = header.Entry(i);
            EntryPlan plan = PlanEntry(entry, pass, header.BaseSector());
            bool written = true;
            if (plan.write == EntryWrite::ZeroFill) written = ZeroFill(entry, plan.firstSector);
            if (plan.write == EntryWrite::Data) written = WriteData(entry, plan.firstSector);
            if (!written) return StepResult::Failed;
        }
        // A device with a cache of its own may hold what it reported written;
        // the pass is written once the device has put it on the medium.
        if (!m_context.ports.files.FlushFileBuffers(m_target.pDrive->Device)) {
            m_context.reporter.ShowStopMessage(MediaWriteError(2));
            return StepResult::Failed;
        }
        return StepResult::Done;
    }

private:
    std::uint32_t SectorSize() const { return m_target.pDrive->BytesPerSector; }

    bool ZeroFill(const DataFileEntry& entry, std::uint32_t sector) {
        std::memset(m_pBuffer, 0, m_nBufferSize);
        std::uint32_t remaining = entry.Size;
        if (remaining == 0) m_context.reporter.StepProgress();
        while (remaining > 0) {
            Chunk chunk = NextChunk(remaining, m_nBufferSize, SectorSize());
            if (WriteOnce(sector, chunk.sectors) != ERROR_SUCCESS) {
                m_context.reporter.ShowStopMessage(MediaWriteError(1));
                return false;
            }
            sector += chunk.sectors;
            remaining -= chunk.bytes;
            m_context.reporter.StepProgress();
        }
        return true;
    }

    bool WriteData(const DataFileEntry& entry, std::uint32_t sector) {
        if (!SeekFile(m_context.ports, m_target.hDataFile, HDR_PAYLOAD_BASE + entry.DataOffset))
            return ReadFailed();
        std::uint32_t remaining = entry.Size;
        while (remaining > 0) {
            Chunk chunk = NextChunk(remaining, m_nBufferSize, SectorSize());
            DWORD got = 0;
            if (!m_context.ports.files.ReadFile(m_target.hDataFile, m_pBuffer, chunk.bytes, &got) ||
                got != chunk.bytes) {
                return ReadFailed();
            }
            if (!WriteWithRetries(sector, chunk.sectors)) {
                m_context.reporter.ShowStopMessage(MediaWriteError(2));
                return false;
            }
            sector += chunk.sectors;
            remaining -= chunk.bytes;
        }
        m_context.reporter.StepProgress();
        return true;
    }

    // The pause comes before every attempt, the first one too: slow floppy
    // drives need it between transfers.
    bool WriteWithRetries(std::uint32_t sector, std::uint16_t sectors) {
        for (int attempt = 0; attempt < m_settings.writeRetry; ++attempt) {
            m_context.ports.system.Sleep(static_cast<DWORD>(m_settings.writeDelayMs));
            if (WriteOnce(sector, sectors) == ERROR_SUCCESS) {
                return true;
            }
        }
        return false;
    }

    // A write the system refused because a volume of the disk is mounted
    // again is made once more, after the volumes are locked anew.
    DWORD WriteOnce(std::uint32_t sector, std::uint16_t sectors) {
        DWORD error = m_context.disk.WriteSectors(*m_target.pDrive, sector, sectors, m_pBuffer);
        if (error != ERROR_ACCESS_DENIED || !m_context.renewLocks) return error;
        m_context.renewLocks();
        return m_context.disk.WriteSectors(*m_target.pDrive, sector, sectors, m_pBuffer);
    }

    bool ReadFailed() {
        MediaReporter& reporter = m_context.reporter;
        reporter.ShowStopMessage(
            FormatMessageText(reporter.LoadText(IDS_READ_ERROR), m_context.dataName));
        return false;
    }

    MediaContext& m_context;
    CreateTarget& m_target;
    BYTE* m_pBuffer;
    std::uint32_t m_nBufferSize;
    const WriterSettings& m_settings;
};

}  // namespace

std::string MediaWriteError(int step) {
    return std::string(kMediaWriteError) + static_cast<char>('0' + step);
}

StepResult WriteSectorEntries(MediaContext& context, CreateTarget& target, BYTE* buffer,
                              int bufferSize, BYTE pass, const WriterSettings& settings) {
    SectorWriter writer(context, target, buffer, bufferSize, settings);
    return writer.Write(pass);
}

}  // namespace veldra
