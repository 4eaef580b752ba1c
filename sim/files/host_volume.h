// A folder on the host as a volume. Files are the host's files; a host name
// without a code page 932 form is invisible. What a host folder cannot keep,
// the volume keeps for the run: the hidden, system and archive attributes and
// creation times. The read-only attribute is the host file's owner write bit.
// A host call that fails leaves its errno, in Win32's terms, as the result.
#pragma once

#include <filesystem>
#include <map>

#include "sim/files/volume.h"

namespace veldra::sim {

class HostFolderVolume final : public Volume {
public:
    HostFolderVolume(std::filesystem::path root, bool writeProtected,
                     std::optional<std::uint64_t> freeBytes);

    bool WriteProtected() const override { return m_bWriteProtected; }
    std::optional<std::uint64_t> FreeBytes() const override { return m_freeBytes; }
    DWORD Find(const VolumePath& directory, const std::string& name,
               std::optional<VolumeEntry>* entry) override;
    DWORD List(const VolumePath& directory, std::vector<std::string>* names) override;
    DWORD Info(const VolumePath& path, VolumeEntryInfo* info) override;
    DWORD SetAttributes(const VolumePath& path, DWORD attributes) override;
    std::unique_ptr<VolumeFile> Open(const VolumePath& path, const VolumeOpen& how,
                                     DWORD* error) override;

private:
    class File;

    std::filesystem::path HostPath(const VolumePath& path) const;

    std::filesystem::path m_root;
    bool m_bWriteProtected;
    std::optional<std::uint64_t> m_freeBytes;
    // By upper-case path, as the machine's attributes and creation times
    // follow a name whatever its case.
    std::map<std::string, DWORD> m_extraAttributes;  // hidden, system, archive
    std::map<std::string, FILETIME> m_creationTimes;
};

}  // namespace veldra::sim
