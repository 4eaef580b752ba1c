// What a data file holds and whether the program would take it: the header's
// fields, its entries, and the reader's verdict with the message the operator
// would see.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/win32_types.h"
#include "records/data_file_format.h"

namespace veldra {

struct InspectReport {
    std::string path;   // as given
    std::string title;  // the file's name, as the reader puts it into its messages
    bool opened = false;
    std::uint64_t fileSize = 0;
    std::optional<DataFileHeader> header;  // when a whole header could be read
    HeaderFault fault;                     // None when the file is accepted
    UINT messageId = 0;                    // 0 when the file is accepted
    std::string message;                   // UTF-8, %1 filled in
    bool Accepted() const { return opened && fault.check == HeaderCheck::None; }
};

// Reads the file and runs the reader's checks over it.
InspectReport InspectDataFile(const std::string& path);
// The same over bytes already read: at most the first 2048 bytes of a file of
// fileSize bytes, or nullopt for a file that could not be opened.
InspectReport InspectDataFileBytes(const std::string& path,
                                   const std::optional<std::vector<BYTE>>& firstBytes,
                                   std::uint64_t fileSize);

std::string FormatReportText(const InspectReport& report);
// One JSON object, keys as docs/datafile-inspect.md describes them.
std::string FormatReportJson(const InspectReport& report);

}  // namespace veldra
