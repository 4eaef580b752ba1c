// One device of the simulated machine: a disk or a floppy unit with its
// medium (an image file), the number the system gave it, the state the
// machine's faults change (a medium pulled, writes that fail, a volume not yet
// mounted after a new layout), what the system knows of the volume on it, and
// the raw handles opened on it.
#pragma once

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "sim/devices/block_device.h"
#include "sim/devices/device_config.h"
#include "sim/devices/image_device.h"
#include "sim/files/volume.h"

namespace veldra::sim {

// Where a volume lies on its device, in bytes.
struct VolumeExtent {
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
    bool operator==(const VolumeExtent&) const = default;
};

// The volume of a device as the system knows it.
struct VolumeView {
    bool present = true;
    VolumeExtent extent;          // as the partition table read last gave it
    unsigned generation = 0;      // changes whenever the volume goes or comes
    std::uint64_t arrivedAt = 0;  // when the present volume arrived (virtual ms)
};

class SimDevice final : public BlockDevice {
public:
    // With rereadRule (Windows 6.0 and later), a new partition table is known
    // only after a re-read; without it, at once.
    SimDevice(const DeviceConfig& config, bool rereadRule);
    // A medium still in the drive when the machine ends keeps what its cache
    // held: the device writes it out in its own time.
    ~SimDevice() override;
    SimDevice(const SimDevice&) = delete;
    SimDevice& operator=(const SimDevice&) = delete;

    const DeviceConfig& Config() const { return m_config; }
    // What IOCTL_STORAGE_GET_DEVICE_NUMBER answers; nullopt: the request fails.
    std::optional<DWORD> Number() const { return m_nNumber; }
    bool MediumPresent() const { return m_pImage != nullptr && !m_bPulled && !m_bUnplugged; }
    bool Plugged() const { return !m_bUnplugged; }
    DISK_GEOMETRY Geometry() const;

    // The medium as the file system sees it.
    std::uint32_t SectorSize() const override { return m_config.bytesPerSector; }
    std::uint64_t Size() const override { return MediumPresent() ? m_pImage->Size() : 0; }
    bool WriteProtected() const override { return m_config.writeProtected; }
    DWORD Read(std::uint64_t offset, void* buffer, std::size_t bytes) override;
    DWORD Write(std::uint64_t offset, const void* buffer, std::size_t bytes) override;

    // A raw write through a device handle: the machine's write faults apply,
    // and a handle opened with FILE_FLAG_WRITE_THROUGH passes a cache that
    // takes FUA.
    DWORD RawWrite(std::uint64_t offset, const void* buffer, std::size_t bytes,
                   bool writeThrough = false);
    // FlushFileBuffers reaching the device: what its cache holds goes to the
    // medium. ERROR_NOT_READY without a medium; the "failing-flush" fault.
    DWORD Flush();
    // A drive-layout change reaching the medium: the "failing-layout" fault.
    bool LayoutWriteFails() {
        ++m_nLayoutWrites;
        return m_config.failingLayout && m_nLayoutWrites == *m_config.failingLayout;
    }
    // The medium leaves the drive, and with it whatever the cache held.
    void Pull();

    // Events the faults follow: a file written on the medium's volume is
    // being closed, and has been.
    void ClosingWrittenFile() {
        if (m_config.pullAtClose && m_nFilesWritten + 1 == *m_config.pullAtClose) Pull();
    }
    void FileWritten();
    // Counts a write to a file on the medium's volume; true for the one a
    // "corrupt-file-writes" fault alters.
    bool CorruptsFileWrite() {
        return m_config.corruptFileWrite && ++m_nFileWrites == *m_config.corruptFileWrite;
    }
    // Count a raw transfer and a seek through a device handle; true for the
    // ones the "short-transfers" and "stray-seeks" faults name.
    bool ShortensTransfer() {
        return m_config.shortTransfer && ++m_nTransfers == *m_config.shortTransfer;
    }
    bool StraysSeek() { return m_config.straySeek && ++m_nSeeks == *m_config.straySeek; }
    // True when a file creation on the medium's volume must fail because the
    // volume has not been mounted again since the layout changed.
    bool RefuseCreateWhileUnmounted();

    // The partition manager's side, at `now` on the virtual clock: a
    // drive-layout request takes the volume away (with the reread rule) until
    // the partition table is read again; the volume found then arrives after
    // the configured delay. A medium whose first sector is no master boot
    // record is one volume, a superfloppy; a master boot record whose first
    // entry is empty holds none.
    VolumeView Volume(std::uint64_t now);
    void LayoutChanged(std::uint64_t now);
    void UpdateProperties(std::uint64_t now);
    // Pulled and plugged in again under another number: the volume arrives
    // anew (the operator waits until it is back).
    void Replugged(std::optional<DWORD> number, std::uint64_t now);
    // The operator puts the medium (the configured image) into the empty
    // drive. NotImplementedError when a medium is in, or no image is named.
    void Insert(std::uint64_t now);
    // The operator takes the whole stick out of its port, and puts it back:
    // its volume goes with it and comes back at `now`, under the number it
    // was described with.
    void Unplug();
    void Plug(std::uint64_t now);
    // Told whenever the volume arrives (the shell looks at it then).
    void WatchArrivals(std::function<void()> watch) { m_arrived = std::move(watch); }

private:
    // Writes through the cache: held there unless writeThrough passes it.
    DWORD Store(std::uint64_t offset, const void* data, std::size_t bytes, bool writeThrough);
    // Puts bytes into the cached blocks they touch; with `add`, into blocks
    // not cached yet too (read from the medium first).
    DWORD Patch(std::uint64_t offset, const BYTE* data, std::size_t bytes, bool add);
    DWORD WriteBack();
    void Reread(std::uint64_t at);
    void MediumIn(std::uint64_t now);
    void Depart();
    std::optional<VolumeExtent> ExtentOnMedium();

    DeviceConfig m_config;
    bool m_bRereadRule;
    std::optional<DWORD> m_nNumber;
    std::unique_ptr<ImageDevice> m_pImage;
    bool m_bPulled = false;
    bool m_bUnplugged = false;
    std::function<void()> m_arrived;
    void Arrived() {
        if (m_arrived) m_arrived();
    }
    int m_nRawWrites = 0;
    int m_nFailedWrites = 0;
    int m_nFilesWritten = 0;
    int m_nFileWrites = 0;
    int m_nUnmountedLeft = 0;
    int m_nTransfers = 0;
    int m_nSeeks = 0;
    int m_nFlushes = 0;
    int m_nLayoutWrites = 0;
    // The write cache, in blocks of kCacheBlock bytes by their number.
    static constexpr std::size_t kCacheBlock = 512;
    std::map<std::uint64_t, std::array<BYTE, kCacheBlock>> m_cache;

    VolumeView m_view;
    bool m_bHasVolume = true;  // the partition table read last holds one
    std::optional<std::uint64_t> m_nRereadDue;
    std::optional<std::uint64_t> m_nArrivalDue;
};

// A raw handle's view of a device: the whole disk or floppy, or the volume of
// a drive letter (a disk's first partition). Transfers are whole sectors at
// sector-aligned offsets, as with FILE_FLAG_NO_BUFFERING.
class DeviceFile final : public VolumeFile {
public:
    // letter: the drive letter of a volume ("\\.\X:"), 0 for a whole disk.
    DeviceFile(SimDevice& device, char letter, DWORD partitionNumber);

    SimDevice& Device() const { return m_device; }
    bool IsVolume() const { return m_letter != 0; }
    char Letter() const { return m_letter; }
    DWORD PartitionNumber() const { return m_nPartitionNumber; }
    // Opened with FILE_FLAG_WRITE_THROUGH.
    void SetWriteThrough(bool writeThrough) { m_bWriteThrough = writeThrough; }

    DWORD Read(std::uint64_t offset, void* buffer, DWORD bytes, DWORD* read) override;
    DWORD Write(std::uint64_t offset, const void* buffer, DWORD bytes, DWORD* written) override;
    DWORD Size(std::uint64_t* size) override;
    DWORD SetTimes(const FILETIME*, const FILETIME*, const FILETIME*) override {
        return ERROR_INVALID_FUNCTION;
    }
    DWORD Flush() override { return m_device.Flush(); }
    DWORD Close() override { return ERROR_SUCCESS; }

private:
    DWORD CheckTransfer(std::uint64_t offset, DWORD bytes, std::uint64_t* start) const;
    DWORD Moved(DWORD bytes);

    SimDevice& m_device;
    char m_letter;
    DWORD m_nPartitionNumber;
    bool m_bWriteThrough = false;
};

// The volume of a disk's medium: its first partition, or the whole medium when
// it has no partition table (a superfloppy, whose sector 0 is a boot sector,
// or a blank medium); nullopt when the partition table's first entry is empty.
std::optional<VolumeExtent> MbrVolume(BlockDevice& device);

// Where a disk's first partition starts, in bytes: 0 for a medium without a
// partition table (a superfloppy, whose sector 0 is a boot sector).
std::uint64_t FirstPartitionStart(BlockDevice& device);

}  // namespace veldra::sim
