// The data file header as the reader sees it: the input is the whole file, of
// which the reader gets the first 2048 bytes; they are checked as they are and
// once more with the checksum put right. The same bytes also serve as a path
// for FileTitleOf.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "platform/mbcs.h"
#include "records/data_file_format.h"

namespace {

using namespace veldra;

void CheckAccessors(const DataFileHeader& header) {
    std::string name = header.ProgramName();
    FUZZ_REQUIRE(name.size() <= HDR_PROGRAM_NAME_END - HDR_OFFSET_PROGRAM_NAME);
    FUZZ_REQUIRE(name.find('\0') == std::string::npos);
    FUZZ_REQUIRE(header.Signature().size() <= HDR_OFFSET_PROGRAM_NAME + 1);
    for (int i = 0; i < HDR_MAX_ENTRIES; ++i) {
        DataFileEntry entry = header.Entry(i);
        FUZZ_REQUIRE(entry.FileName.size() <= ENTRY_FILE_NAME_SIZE);
        FUZZ_REQUIRE(entry.FileName.find('\0') == std::string::npos);
    }
}

void CheckVerdict(const std::vector<BYTE>& bytesRead, std::uint64_t fileSize) {
    HeaderVerdict verdict = CheckDataFileHeader(bytesRead, fileSize, "NOVUS-KT DATA");
    if (bytesRead.size() < HDR_SIZE) {
        FUZZ_REQUIRE(verdict == HeaderVerdict::NotDataFile);
        return;
    }
    DataFileHeader header;
    std::memcpy(header.bytes.data(), bytesRead.data(), HDR_SIZE);
    CheckAccessors(header);
    if (verdict != HeaderVerdict::Valid) return;

    // What a Valid verdict lets the rest of the program take for granted.
    FUZZ_REQUIRE(header.Signature() == "NOVUS-KT DATA");
    FUZZ_REQUIRE(IsHeaderChecksumValid(&header));
    FUZZ_REQUIRE(header.EntryCount() <= HDR_MAX_ENTRIES);
    for (int i = 0; i < header.EntryCount(); ++i) {
        DataFileEntry entry = header.Entry(i);
        if (entry.Kind == ENTRY_ZERO_FILL) continue;
        FUZZ_REQUIRE(HDR_PAYLOAD_BASE + entry.DataOffset + entry.Size <= fileSize);
    }
}

void CheckFileTitle(std::string_view path) {
    std::string title = FileTitleOf(path);
    FUZZ_REQUIRE(path.ends_with(title));
    bool singleByteOnly = std::none_of(path.begin(), path.end(), [](char c) {
        return IsDbcsLeadByte932(static_cast<unsigned char>(c));
    });
    if (singleByteOnly) FUZZ_REQUIRE(title.find('\\') == std::string::npos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A buffer of exactly the bytes read, so reading past them is caught.
    std::vector<BYTE> bytesRead(data, data + std::min(size, HDR_SIZE));
    CheckVerdict(bytesRead, size);
    if (bytesRead.size() == HDR_SIZE) {
        // Mutations almost never keep the checksum right; repaired, the
        // entries behind it are checked too.
        std::span<const BYTE, HDR_SIZE> header(bytesRead.data(), HDR_SIZE);
        WriteLe32(&bytesRead[HDR_OFFSET_CHECKSUM], ComputeHeaderChecksum(header));
        CheckVerdict(bytesRead, size);
    }
    CheckFileTitle(veldra::fuzz::AsText(data, size));
    return 0;
}
