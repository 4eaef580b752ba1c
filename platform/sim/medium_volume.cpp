#include "platform/sim/medium_volume.h"

#include "platform/sim/errors.h"

namespace veldra::sim {

DWORD MediumVolume::Mounted() {
    if (!m_device.MediumPresent()) return ERROR_NOT_READY;
    throw NotImplementedError("a file system on a device's medium");
}

DWORD MediumVolume::Find(const VolumePath&, const std::string&, std::optional<VolumeEntry>*) {
    return Mounted();
}

DWORD MediumVolume::List(const VolumePath&, std::vector<std::string>*) {
    return Mounted();
}

DWORD MediumVolume::Info(const VolumePath&, VolumeEntryInfo*) {
    return Mounted();
}

DWORD MediumVolume::SetAttributes(const VolumePath&, DWORD) {
    return Mounted();
}

std::unique_ptr<VolumeFile> MediumVolume::Open(const VolumePath&, const VolumeOpen& how,
                                               DWORD* error) {
    if (how.create && m_device.RefuseCreateWhileUnmounted()) {
        *error = ERROR_NOT_READY;
        return nullptr;
    }
    *error = Mounted();
    return nullptr;
}

}  // namespace veldra::sim
