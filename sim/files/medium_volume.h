// The volume behind a drive letter on a device: the FAT file system on its
// medium, read afresh on every call so that raw sector writes and file writes
// see each other as on a real machine. On top of the file system come the
// device's faults: a medium pulled once enough files were written on it, and
// file creations refused while the volume is not yet mounted again after a
// new layout.
#pragma once

#include "sim/devices/sim_device.h"
#include "sim/fat/fat_volume.h"
#include "sim/files/volume.h"

namespace veldra::sim {

class MediumVolume final : public Volume {
public:
    MediumVolume(SimDevice& device, FatVolume::LocalClock clock, std::int32_t zoneMinutes = 0)
        : m_device(device), m_fat(device, std::move(clock), zoneMinutes) {}

    bool WriteProtected() const override { return m_device.WriteProtected(); }
    std::optional<std::uint64_t> FreeBytes() const override { return m_fat.FreeBytes(); }
    bool RefusesCreate() override {
        return m_device.MediumPresent() && m_device.RefuseCreateWhileUnmounted();
    }
    DWORD Find(const VolumePath& directory, const std::string& name,
               std::optional<VolumeEntry>* entry) override {
        return m_fat.Find(directory, name, entry);
    }
    DWORD List(const VolumePath& directory, std::vector<std::string>* names) override {
        return m_fat.List(directory, names);
    }
    DWORD Info(const VolumePath& path, VolumeEntryInfo* info) override {
        return m_fat.Info(path, info);
    }
    DWORD SetAttributes(const VolumePath& path, DWORD attributes) override {
        return m_fat.SetAttributes(path, attributes);
    }
    std::unique_ptr<VolumeFile> Open(const VolumePath& path, const VolumeOpen& how,
                                     DWORD* error) override;

private:
    SimDevice& m_device;
    FatVolume m_fat;
};

}  // namespace veldra::sim
