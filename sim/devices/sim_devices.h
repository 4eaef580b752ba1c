// The device port of the simulated machine: drive types, the raw device
// paths ("\\.\X:", "\\.\PhysicalDriveN") and the disk driver's requests on
// the handles opened on them.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "platform/device_port.h"
#include "sim/devices/sim_device.h"
#include "sim/kernel/kernel.h"

namespace veldra::sim {

class SimFiles;

class SimDevices final : public DevicePort {
public:
    explicit SimDevices(Kernel& kernel);
    // The file port, for the files behind handles; set once both exist.
    void Attach(SimFiles& files) { m_pFiles = &files; }

    SimDevice* Find(DeviceId id);
    // The device a drive letter stands on now; nullptr for a drive on a host
    // folder or no drive.
    SimDevice* DeviceOf(char letter);
    // Hands letters on where a disk's "letters-go-to" says, once its table
    // has been read again; `moved` learns of each letter handed on.
    void CheckLetterMoves();
    void OnLetterMoved(std::function<void(char, SimDevice&)> moved) { m_moved = std::move(moved); }

    // The operator pulls the stick behind the letter and plugs it in again;
    // meanwhile the next removable disk with a medium took its number, and the
    // stick gets that disk's. NotImplementedError when there is no such disk,
    // or when a handle is open on either of them.
    void Replug(char letter);

    // A raw device path's file and its identity for share modes; nullptr,
    // with *error, when the path names no device that can be opened.
    static bool IsDevicePath(const std::string& path);
    std::unique_ptr<VolumeFile> Open(const std::string& path, std::string* key, DWORD* error);

    // A floppy unit, or a disk behind a removable drive letter: what the
    // policies for removable disks apply to.
    bool Removable(const SimDevice& device) const;

    UINT GetDriveTypeA(const char* rootPathName) override;
    BOOL DeviceIoControl(HANDLE device, DWORD ioControlCode, const void* inBuffer,
                         DWORD inBufferSize, void* outBuffer, DWORD outBufferSize,
                         DWORD* bytesReturned) override;

private:
    BOOL Fail(DWORD error);
    BOOL DeviceNumber(DeviceFile& file, void* out, DWORD outSize, DWORD* returned);
    BOOL Geometry(DeviceFile& file, void* out, DWORD outSize, DWORD* returned);
    BOOL DiskExtents(DeviceFile& file, void* out, DWORD outSize, DWORD* returned);
    BOOL Length(DeviceFile& file, void* out, DWORD outSize, DWORD* returned);
    BOOL GetLayout(DeviceFile& file, void* out, DWORD outSize, DWORD* returned);
    BOOL SetLayout(DeviceFile& file, const void* in, DWORD inSize);
    SimDevice* DiskNumbered(DWORD number);

    Kernel& m_kernel;
    SimFiles* m_pFiles = nullptr;
    std::map<DeviceId, std::unique_ptr<SimDevice>> m_devices;
    std::map<char, DeviceId> m_letters;     // the device of each letter now
    std::map<char, unsigned> m_movesAfter;  // letters to hand on after this generation
    std::function<void(char, SimDevice&)> m_moved;
};

}  // namespace veldra::sim
