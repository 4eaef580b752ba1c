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
    // What the openings found: the open device is a floppy's volume opened
    // sharing writing, because another program has it open (it must be locked
    // before a write); or the last opening found a picked letter that no longer stands on the disk
    // of the listed number, so that nothing was opened.
    bool volumeShared = false;
    bool deviceMoved = false;
    // The letter's volume and the disk of its number answer different
    // geometries: another device answers that number, and the program
    // cannot tell which disk it would write.
    bool diskDoubtful = false;
    // Why the last opening failed, as the system said it: ERROR_ACCESS_DENIED
    // (no right to write the device, or a policy against removable disks),
    // ERROR_WRITE_PROTECT (the medium's switch); anything else reads as no
    // usable medium.
    DWORD openError = ERROR_SUCCESS;
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

// The geometry paths of the two ways to open a target: a disk's whole device
// ("\\.\PhysicalDriveN"), and the letter's volume, which is how floppies open.
std::string TargetGeometryPath(const CreateTarget& target);
std::string TargetVolumePath(const CreateTarget& target);

// Whether the picked letter's volume still answers the device number the
// drive list holds. Windows gives a pulled disk's number to the next disk that
// comes, so "\\.\PhysicalDriveN" may have become another stick since the
// list was made.
bool StillOnListedDisk(CDiskInfo& disk, const DriveRecord& record);

// Whether the letter's volume and "\\.\PhysicalDriveN" answer the same
// geometry; true where either cannot answer (no medium: the open decides).
bool VolumeOnListedDevice(CDiskInfo& disk, const DriveRecord& record);

// One attempt: the geometry afresh, the open, the medium check. The result
// (a handle, or INVALID_HANDLE_VALUE) is also stored in hDevice and in the
// record's Device. A disk is opened only while its letter still stands on it
// (deviceMoved otherwise). A floppy's volume that another program holds open
// (Windows Vista and later refuse an open that does not share writing) is
// opened sharing writing (volumeShared). A medium the driver reports
// write-protected is not kept open: the open itself succeeds on Windows, and
// only the first write would fail.
HANDLE OpenTargetOnce(CDiskInfo& disk, CreateTarget& target, const std::string& geometryPath);

// Up to three attempts, one second apart; none after a moved disk.
HANDLE OpenTargetWithAttempts(CDiskInfo& disk, CreateTarget& target,
                              const std::string& geometryPath);

}  // namespace veldra
