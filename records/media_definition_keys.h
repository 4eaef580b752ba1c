// The media definition file "TAVEXMEDIA.INI": its one section and its keys.
// The program list reads it, the start-up check walks the same entries, and
// only "FILENO" is ever written.
#pragma once

namespace veldra {

constexpr char kMediaDefinitionFileName[] = "TAVEXMEDIA.INI";
constexpr char kMediaDefinitionSection[] = "FILE";
constexpr char kKeyProgramCount[] = "FILES";
constexpr char kKeyProgramPrefix[] = "FILE";  // followed by n = 1, 2, ... in decimal
constexpr char kKeyPreselection[] = "FILENO";
constexpr char kKeyWriteDelay[] = "WRITEDELAY";
constexpr char kKeyWriteRetry[] = "WRITERETRY";
constexpr char kKeyVerify[] = "VERIFY";  // 0 or absent: no read-back verification

}  // namespace veldra
