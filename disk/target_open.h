// Opening the target of a creation: the drive the operator picked, opened for
// raw access once a usable medium is in it.
#pragma once

#include <cstdint>
#include <string>

#include "disk/disk_info.h"
#include "disk/drive_types.h"
#include "records/data_file_format.h"

namespace veldra {

// The record of one creation run, handed to every step.
struct CreateTarget {
    HANDLE hDevice = INVALID_HANDLE_VALUE;    // raw device; invalid while closed
    HANDLE hDataFile = INVALID_HANDLE_VALUE;  // the data file, open for the run
    std::uint32_t platformId = 0;
    const DataFileHeader* pHeader = nullptr;
    std::string strDrive;           // the drive box line: letter and colon
    DriveRecord* pDrive = nullptr;  // the selected record of the drive list
};

constexpr int kTargetOpenAttempts = 3;
constexpr DWORD kTargetOpenPauseMs = 1000;

// A sector size the writer can work with: a power of two that fits the
// 65536-byte work buffer. Anything else is no usable medium.
constexpr bool IsUsableSectorSize(std::uint32_t bytesPerSector) {
    return bytesPerSector != 0 && (bytesPerSector & (bytesPerSector - 1)) == 0 &&
           bytesPerSector <= 65536;
}

// Whether a medium of this type may be written in a drive of this class: a
// 3.5-inch 1.44 MB floppy in a floppy drive, removable media in any other.
constexpr bool AcceptsMedium(std::int32_t deviceClass, MEDIA_TYPE mediaType) {
    return deviceClass == DEVCLASS_FLOPPY ? mediaType == F3_1Pt44_512 : mediaType == RemovableMedia;
}

// The geometry paths of the two ways to open a target.
std::string TargetGeometryPath(const CreateTarget& target);  // by the drive's class
std::string TargetVolumePath(const CreateTarget& target);    // always the volume

// One attempt: the geometry afresh, the open, the medium check. The result
// (a handle, or INVALID_HANDLE_VALUE) is also stored in hDevice and in the
// record's Device.
HANDLE OpenTargetOnce(CDiskInfo& disk, CreateTarget& target, const std::string& geometryPath);

// Up to three attempts, one second apart.
HANDLE OpenTargetWithAttempts(CDiskInfo& disk, CreateTarget& target,
                              const std::string& geometryPath);

}  // namespace veldra
