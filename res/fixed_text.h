// Texts the program holds as fixed literals rather than string-table entries,
// as code page 932 bytes (the sources are UTF-8; each line says what the
// bytes read).
#pragma once

namespace veldra {

// "  日時：%4d/%02d/%02d %02d:%02d:%02d"
inline constexpr char kLogDateFormat[] =
    "  \x93\xfa\x8e\x9e\x81\x46"
    "%4d/%02d/%02d %02d:%02d:%02d";

// "ディスクドライブ"
inline constexpr char kDefaultDriveName[] =
    "\x83\x66\x83\x42\x83\x58\x83\x4e\x83\x68\x83\x89\x83\x43\x83\x75";

// "メディア書き込み中エラーが発生しました。" followed by the step number 1 to 4.
inline constexpr char kMediaWriteError[] =
    "\x83\x81\x83\x66\x83\x42\x83\x41\x8f\x91\x82\xab\x8d\x9e\x82\xdd\x92\x86\x83\x47\x83\x89"
    "\x81\x5b\x82\xaa\x94\xad\x90\xb6\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81\x42";

// "IOCTL_DISK_GET_DRIVE_LAYOUT error\nUSBデバイスへの書き込みができません"
inline constexpr char kGetLayoutError[] =
    "IOCTL_DISK_GET_DRIVE_LAYOUT error\n"
    "USB\x83\x66\x83\x6f\x83\x43\x83\x58\x82\xd6\x82\xcc\x8f\x91\x82\xab\x8d\x9e\x82\xdd\x82\xaa"
    "\x82\xc5\x82\xab\x82\xdc\x82\xb9\x82\xf1";

// "IOCTL_DISK_SET_DRIVE_LAYOUT error\nUSBデバイスへの書き込みができません"
inline constexpr char kSetLayoutError[] =
    "IOCTL_DISK_SET_DRIVE_LAYOUT error\n"
    "USB\x83\x66\x83\x6f\x83\x43\x83\x58\x82\xd6\x82\xcc\x8f\x91\x82\xab\x8d\x9e\x82\xdd\x82\xaa"
    "\x82\xc5\x82\xab\x82\xdc\x82\xb9\x82\xf1";

}  // namespace veldra
