#include "sim/devices/sim_device.h"

#include <algorithm>
#include <array>
#include <vector>

#include "sim/kernel/errors.h"

namespace veldra::sim {

SimDevice::SimDevice(const DeviceConfig& config, bool rereadRule)
    : m_config(config),
      m_bRereadRule(rereadRule),
      m_nNumber(config.deviceNumber),
      m_bUnplugged(!config.plugged) {
    if (config.mediumPresent && config.plugged) {
        m_pImage = std::make_unique<ImageDevice>(config.image, config.bytesPerSector,
                                                 config.writeProtected);
    }
    std::optional<VolumeExtent> extent = ExtentOnMedium();
    m_bHasVolume = extent.has_value();
    m_view.present = m_bHasVolume || !m_bRereadRule;
    if (extent) m_view.extent = *extent;
}

SimDevice::~SimDevice() {
    if (MediumPresent()) WriteBack();
}

DISK_GEOMETRY SimDevice::Geometry() const {
    DISK_GEOMETRY geometry{};
    geometry.MediaType = m_config.mediaType;
    geometry.BytesPerSector = m_config.bytesPerSector;
    geometry.SectorsPerTrack = m_config.sectorsPerTrack;
    geometry.TracksPerCylinder = m_config.tracksPerCylinder;
    std::uint64_t cylinder = std::uint64_t{m_config.bytesPerSector} * m_config.sectorsPerTrack *
                             m_config.tracksPerCylinder;
    geometry.Cylinders.QuadPart = cylinder == 0 ? 0 : static_cast<std::int64_t>(Size() / cylinder);
    return geometry;
}

// Reads see what the cache holds over what the medium holds.
DWORD SimDevice::Read(std::uint64_t offset, void* buffer, std::size_t bytes) {
    if (!MediumPresent()) return ERROR_NOT_READY;
    if (DWORD error = m_pImage->Read(offset, buffer, bytes)) return error;
    BYTE* out = static_cast<BYTE*>(buffer);
    for (auto it = m_cache.lower_bound(offset / kCacheBlock);
         it != m_cache.end() && it->first * kCacheBlock < offset + bytes; ++it) {
        std::uint64_t start = std::max<std::uint64_t>(it->first * kCacheBlock, offset);
        std::uint64_t end = std::min<std::uint64_t>((it->first + 1) * kCacheBlock, offset + bytes);
        std::copy(it->second.begin() + (start - it->first * kCacheBlock),
                  it->second.begin() + (end - it->first * kCacheBlock), out + (start - offset));
    }
    return ERROR_SUCCESS;
}

DWORD SimDevice::Write(std::uint64_t offset, const void* buffer, std::size_t bytes) {
    if (!MediumPresent()) return ERROR_NOT_READY;
    return Store(offset, buffer, bytes, false);
}

DWORD SimDevice::Store(std::uint64_t offset, const void* data, std::size_t bytes,
                       bool writeThrough) {
    const BYTE* from = static_cast<const BYTE*>(data);
    bool cached = m_config.writeCache == WriteCache::NoFua ||
                  (m_config.writeCache == WriteCache::Fua && !writeThrough);
    if (!cached) {
        DWORD error = m_pImage->Write(offset, data, bytes);
        // Blocks the cache holds take the new bytes too, or a later flush
        // would bring the old ones back.
        if (error == ERROR_SUCCESS) Patch(offset, from, bytes, false);
        return error;
    }
    if (DWORD error = m_pImage->OpenError()) return error;
    if (m_config.writeProtected) return ERROR_WRITE_PROTECT;
    if (offset > Size() || bytes > Size() - offset) return ERROR_SECTOR_NOT_FOUND;
    return Patch(offset, from, bytes, true);
}

DWORD SimDevice::Patch(std::uint64_t offset, const BYTE* data, std::size_t bytes, bool add) {
    if (bytes == 0) return ERROR_SUCCESS;
    for (std::uint64_t block = offset / kCacheBlock; block * kCacheBlock < offset + bytes;
         ++block) {
        auto it = m_cache.find(block);
        if (it == m_cache.end()) {
            if (!add) continue;
            std::array<BYTE, kCacheBlock> fresh{};
            std::uint64_t at = block * kCacheBlock;
            std::size_t held =
                static_cast<std::size_t>(std::min<std::uint64_t>(kCacheBlock, Size() - at));
            if (DWORD error = m_pImage->Read(at, fresh.data(), held)) return error;
            it = m_cache.emplace(block, fresh).first;
        }
        std::uint64_t start = std::max<std::uint64_t>(block * kCacheBlock, offset);
        std::uint64_t end = std::min<std::uint64_t>((block + 1) * kCacheBlock, offset + bytes);
        std::copy(data + (start - offset), data + (end - offset),
                  it->second.begin() + (start - block * kCacheBlock));
    }
    return ERROR_SUCCESS;
}

DWORD SimDevice::WriteBack() {
    while (!m_cache.empty()) {
        auto it = m_cache.begin();
        std::uint64_t at = it->first * kCacheBlock;
        std::size_t held =
            static_cast<std::size_t>(std::min<std::uint64_t>(kCacheBlock, m_pImage->Size() - at));
        if (DWORD error = m_pImage->Write(at, it->second.data(), held)) return error;
        m_cache.erase(it);
    }
    return ERROR_SUCCESS;
}

DWORD SimDevice::Flush() {
    if (!MediumPresent()) return ERROR_NOT_READY;
    ++m_nFlushes;
    if (m_config.failingFlush && m_nFlushes == *m_config.failingFlush) return m_config.writeError;
    return WriteBack();
}

void SimDevice::Pull() {
    m_bPulled = true;
    m_cache.clear();
}

DWORD SimDevice::RawWrite(std::uint64_t offset, const void* buffer, std::size_t bytes,
                          bool writeThrough) {
    if (!MediumPresent()) return ERROR_NOT_READY;
    ++m_nRawWrites;
    if (m_nRawWrites > m_config.writesBeforeFailing && m_nFailedWrites < m_config.failingWrites) {
        ++m_nFailedWrites;
        return m_config.writeError;
    }
    DWORD error = ERROR_SUCCESS;
    if (m_config.corruptWrite && m_nRawWrites == *m_config.corruptWrite && bytes > 0) {
        std::vector<BYTE> altered(static_cast<const BYTE*>(buffer),
                                  static_cast<const BYTE*>(buffer) + bytes);
        altered[0] = static_cast<BYTE>(~altered[0]);
        error = Store(offset, altered.data(), bytes, writeThrough);
    } else {
        error = Store(offset, buffer, bytes, writeThrough);
    }
    if (m_config.pullAfterWrites && m_nRawWrites >= *m_config.pullAfterWrites) Pull();
    return error;
}

void SimDevice::FileWritten() {
    ++m_nFilesWritten;
    if (m_config.pullAfterFiles && m_nFilesWritten >= *m_config.pullAfterFiles) Pull();
}

bool SimDevice::RefuseCreateWhileUnmounted() {
    if (m_nUnmountedLeft == 0) return false;
    --m_nUnmountedLeft;
    return true;
}

std::optional<VolumeExtent> SimDevice::ExtentOnMedium() {
    if (m_config.id.kind == DeviceKind::Floppy) return VolumeExtent{0, Size()};
    return MbrVolume(*this);
}

// What was due by now happens first: a re-read the system made on its own,
// the arrival of the volume it found.
VolumeView SimDevice::Volume(std::uint64_t now) {
    if (m_bUnplugged) {
        VolumeView gone = m_view;
        gone.present = false;
        return gone;
    }
    if (!m_bRereadRule) return m_view;
    if (m_nRereadDue && now >= *m_nRereadDue) Reread(*m_nRereadDue);
    if (m_nArrivalDue && now >= *m_nArrivalDue) {
        m_view.present = true;
        ++m_view.generation;
        m_view.arrivedAt = *m_nArrivalDue;
        m_nArrivalDue.reset();
        Arrived();
    }
    return m_view;
}

void SimDevice::Depart() {
    if (!m_view.present) return;
    m_view.present = false;
    ++m_view.generation;
}

void SimDevice::LayoutChanged(std::uint64_t now) {
    m_nUnmountedLeft = m_config.unmountedCreates;
    if (!m_bRereadRule) return;
    Volume(now);
    Depart();
    m_nArrivalDue.reset();
    m_nRereadDue.reset();
    if (m_config.rereadAfterMs) m_nRereadDue = now + *m_config.rereadAfterMs;
}

void SimDevice::UpdateProperties(std::uint64_t now) {
    if (!m_bRereadRule) return;
    Volume(now);
    Reread(now);
}

// The partition table as it stands now. The same volume as before stays as it
// is; anything else takes the old volume away and lets the new one arrive.
void SimDevice::Reread(std::uint64_t at) {
    m_nRereadDue.reset();
    std::optional<VolumeExtent> found = ExtentOnMedium();
    bool same = found.has_value() == m_bHasVolume && (!found || *found == m_view.extent);
    if (same && (m_view.present || m_nArrivalDue)) return;
    Depart();
    m_nArrivalDue.reset();
    m_bHasVolume = found.has_value();
    if (!found) return;
    m_view.extent = *found;
    m_nArrivalDue = at + m_config.appearAfterMs;
}

void SimDevice::Replugged(std::optional<DWORD> number, std::uint64_t now) {
    m_nNumber = number;
    m_cache.clear();  // out of the port, what the cache held is gone
    if (!m_bRereadRule) return;
    m_nRereadDue.reset();
    m_nArrivalDue.reset();
    Depart();
    std::optional<VolumeExtent> found = ExtentOnMedium();
    m_bHasVolume = found.has_value();
    if (!found) return;
    m_view.extent = *found;
    m_view.present = true;
    ++m_view.generation;
    m_view.arrivedAt = now;
    Arrived();
}

void SimDevice::Insert(std::uint64_t now) {
    if (MediumPresent()) throw NotImplementedError("insert into a drive that has a medium");
    if (m_config.image.empty()) throw NotImplementedError("insert of a medium without an image");
    MediumIn(now);
}

// The configured image goes in; its volume, if it has one, arrives now.
void SimDevice::MediumIn(std::uint64_t now) {
    m_pImage = std::make_unique<ImageDevice>(m_config.image, m_config.bytesPerSector,
                                             m_config.writeProtected);
    m_bPulled = false;
    std::optional<VolumeExtent> extent = ExtentOnMedium();
    m_bHasVolume = extent.has_value();
    if (extent) m_view.extent = *extent;
    m_view.present = m_bHasVolume || !m_bRereadRule;
    ++m_view.generation;
    m_view.arrivedAt = now;
    if (m_view.present) Arrived();
}

void SimDevice::Unplug() {
    if (m_bUnplugged) throw NotImplementedError("unplug of a disk that is not plugged in");
    Pull();
    m_bUnplugged = true;
    m_nRereadDue.reset();
    m_nArrivalDue.reset();
    ++m_view.generation;
}

void SimDevice::Plug(std::uint64_t now) {
    if (!m_bUnplugged) throw NotImplementedError("plug of a disk that is plugged in");
    if (m_config.image.empty()) throw NotImplementedError("plug of a disk without an image");
    m_bUnplugged = false;
    MediumIn(now);
}

std::optional<VolumeExtent> MbrVolume(BlockDevice& device) {
    std::array<BYTE, 512> sector{};
    VolumeExtent whole{0, device.Size()};
    if (device.Size() < sector.size() || device.Read(0, sector.data(), sector.size()) != 0)
        return whole;
    bool signed55AA = sector[510] == 0x55 && sector[511] == 0xAA;
    // A boot sector starts with a jump and carries a sector size; a master
    // boot record does not.
    bool bootSector = (sector[0] == 0xEB || sector[0] == 0xE9) && sector[11] == 0 &&
                      (sector[12] == 2 || sector[12] == 4 || sector[12] == 8 || sector[12] == 16);
    if (!signed55AA || bootSector) return whole;
    const BYTE* entry = &sector[446];
    if (entry[4] == 0) return std::nullopt;
    auto le32 = [](const BYTE* p) {
        return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
               (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
    };
    std::uint64_t start = std::uint64_t{le32(entry + 8)} * device.SectorSize();
    std::uint64_t size = std::uint64_t{le32(entry + 12)} * device.SectorSize();
    if (start > device.Size()) return VolumeExtent{start, 0};
    return VolumeExtent{start, std::min(size, device.Size() - start)};
}

std::uint64_t FirstPartitionStart(BlockDevice& device) {
    std::optional<VolumeExtent> volume = MbrVolume(device);
    return volume ? volume->offset : 0;
}

DeviceFile::DeviceFile(SimDevice& device, char letter, DWORD partitionNumber)
    : m_device(device), m_letter(letter), m_nPartitionNumber(partitionNumber) {}

DWORD DeviceFile::CheckTransfer(std::uint64_t offset, DWORD bytes, std::uint64_t* start) const {
    if (!m_device.MediumPresent()) return ERROR_NOT_READY;
    DWORD sector = m_device.SectorSize();
    if (sector != 0 && (offset % sector != 0 || bytes % sector != 0))
        return ERROR_INVALID_PARAMETER;
    *start = IsVolume() ? FirstPartitionStart(m_device) : 0;
    if (*start + offset + bytes > m_device.Size()) return ERROR_SECTOR_NOT_FOUND;
    return ERROR_SUCCESS;
}

// What a transfer of `bytes` moves: all of it, or one sector less when it is
// the one the machine cuts short.
DWORD DeviceFile::Moved(DWORD bytes) {
    if (!m_device.ShortensTransfer()) return bytes;
    return bytes - std::min(bytes, m_device.SectorSize());
}

DWORD DeviceFile::Read(std::uint64_t offset, void* buffer, DWORD bytes, DWORD* read) {
    *read = 0;
    std::uint64_t start = 0;
    if (DWORD error = CheckTransfer(offset, bytes, &start)) return error;
    bytes = Moved(bytes);
    if (DWORD error = m_device.Read(start + offset, buffer, bytes)) return error;
    *read = bytes;
    return ERROR_SUCCESS;
}

DWORD DeviceFile::Write(std::uint64_t offset, const void* buffer, DWORD bytes, DWORD* written) {
    *written = 0;
    std::uint64_t start = 0;
    if (DWORD error = CheckTransfer(offset, bytes, &start)) return error;
    if (m_device.WriteProtected()) return ERROR_WRITE_PROTECT;
    bytes = Moved(bytes);
    if (DWORD error = m_device.RawWrite(start + offset, buffer, bytes, m_bWriteThrough))
        return error;
    *written = bytes;
    return ERROR_SUCCESS;
}

DWORD DeviceFile::Size(std::uint64_t* size) {
    *size = m_device.Size();
    return ERROR_SUCCESS;
}

}  // namespace veldra::sim
