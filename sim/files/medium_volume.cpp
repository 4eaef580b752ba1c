#include "sim/files/medium_volume.h"

#include <vector>

namespace veldra::sim {
namespace {

// A file on the medium that tells the device when it was written and closed:
// the moment a "pulled after N files" fault waits for.
class CountedFile final : public VolumeFile {
public:
    CountedFile(std::unique_ptr<VolumeFile> file, SimDevice& device)
        : m_file(std::move(file)), m_device(device) {}

    DWORD Read(std::uint64_t offset, void* buffer, DWORD bytes, DWORD* read) override {
        return m_file->Read(offset, buffer, bytes, read);
    }
    DWORD Write(std::uint64_t offset, const void* buffer, DWORD bytes, DWORD* written) override {
        m_bWritten = true;
        if (bytes > 0 && m_device.CorruptsFileWrite()) {
            std::vector<BYTE> altered(static_cast<const BYTE*>(buffer),
                                      static_cast<const BYTE*>(buffer) + bytes);
            altered[0] = static_cast<BYTE>(~altered[0]);
            return m_file->Write(offset, altered.data(), bytes, written);
        }
        return m_file->Write(offset, buffer, bytes, written);
    }
    DWORD Size(std::uint64_t* size) override { return m_file->Size(size); }
    DWORD SetTimes(const FILETIME* creation, const FILETIME* lastAccess,
                   const FILETIME* lastWrite) override {
        return m_file->SetTimes(creation, lastAccess, lastWrite);
    }
    // As the FAT driver does once the file and its entry are written out:
    // the flush goes on to the device (FatCommonFlushBuffers).
    DWORD Flush() override {
        if (DWORD error = m_file->Flush()) return error;
        return m_device.Flush();
    }
    DWORD Close() override {
        if (m_bWritten) m_device.ClosingWrittenFile();
        DWORD error = m_file->Close();
        if (m_bWritten) m_device.FileWritten();
        m_bWritten = false;
        return error;
    }

private:
    std::unique_ptr<VolumeFile> m_file;
    SimDevice& m_device;
    bool m_bWritten = false;
};

}  // namespace

std::unique_ptr<VolumeFile> MediumVolume::Open(const VolumePath& path, const VolumeOpen& how,
                                               DWORD* error) {
    std::unique_ptr<VolumeFile> file = m_fat.Open(path, how, error);
    if (!file) return nullptr;
    return std::make_unique<CountedFile>(std::move(file), m_device);
}

}  // namespace veldra::sim
