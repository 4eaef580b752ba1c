// The volume behind a drive letter on a device: the file system on its
// medium, read afresh from the medium on every call, so that raw sector
// writes and file writes see each other as on a real machine. Without a
// medium every call fails with ERROR_NOT_READY.
#pragma once

#include "platform/sim/sim_device.h"
#include "platform/sim/volume.h"

namespace veldra::sim {

class MediumVolume final : public Volume {
public:
    explicit MediumVolume(SimDevice& device) : m_device(device) {}

    bool WriteProtected() const override { return m_device.WriteProtected(); }
    std::optional<std::uint64_t> FreeBytes() const override { return std::nullopt; }
    DWORD Find(const VolumePath& directory, const std::string& name,
               std::optional<VolumeEntry>* entry) override;
    DWORD List(const VolumePath& directory, std::vector<std::string>* names) override;
    DWORD Info(const VolumePath& path, VolumeEntryInfo* info) override;
    DWORD SetAttributes(const VolumePath& path, DWORD attributes) override;
    std::unique_ptr<VolumeFile> Open(const VolumePath& path, const VolumeOpen& how,
                                     DWORD* error) override;

private:
    // ERROR_SUCCESS when the medium can be read as a file system.
    DWORD Mounted();

    SimDevice& m_device;
};

}  // namespace veldra::sim
