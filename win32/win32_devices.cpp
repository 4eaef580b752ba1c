// DevicePort on kernel32. Every request goes to the driver as it is, among
// them those a raw writer needs on Windows Vista and later: the volume lock and
// dismount requests (FSCTL_LOCK_VOLUME, FSCTL_DISMOUNT_VOLUME,
// FSCTL_UNLOCK_VOLUME) and the re-read of a partition table
// (IOCTL_DISK_UPDATE_PROPERTIES).
#include "win32/code_page.h"
#include "win32/win32_ports.h"

namespace veldra::win32 {

UINT Win32DevicePort::GetDriveTypeA(const char* rootPathName) {
    if (!Converts932()) return ::GetDriveTypeA(rootPathName);
    return ::GetDriveTypeW(WideArg(rootPathName).get());
}

// Without an OVERLAPPED the system needs somewhere to put the byte count even
// when the caller does not want it.
BOOL Win32DevicePort::DeviceIoControl(HANDLE device, DWORD ioControlCode, const void* inBuffer,
                                      DWORD inBufferSize, void* outBuffer, DWORD outBufferSize,
                                      DWORD* bytesReturned) {
    DWORD unused = 0;
    return ::DeviceIoControl(device, ioControlCode, const_cast<void*>(inBuffer), inBufferSize,
                             outBuffer, outBufferSize, bytesReturned ? bytesReturned : &unused,
                             nullptr);
}

}  // namespace veldra::win32
