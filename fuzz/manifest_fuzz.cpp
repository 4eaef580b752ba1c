// Data file manifests, from text to bytes. Parsing returns or throws
// ManifestError; a parsed manifest builds or throws DataFileError; and the
// reader accepts what it builds unless a fault line asked for damage: the
// header's own faults may break anything, the entry faults only their check.
// `from` paths are taken from the example manifests' folder, so the examples'
// payload files can be found.
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "records/data_file_format.h"
#include "tools/datafile/datafile_writer.h"
#include "tools/datafile/manifest.h"

namespace {

using namespace veldra;

bool DamagesHeader(const DataFileFaults& f) {
    return f.checksumAdd || f.entryCount || f.signature || f.truncateTo || f.dropTail;
}

bool Allowed(const DataFileFaults& f, HeaderCheck check) {
    return check == HeaderCheck::None || (check == HeaderCheck::PayloadExtent && f.payloadExtent) ||
           (check == HeaderCheck::FileName && f.fileName) ||
           (check == HeaderCheck::SectorRange && f.sectorRange);
}

// Every field lands as the manifest gave it, overrides included.
void CheckLayout(const DataFileSpec& model, const std::vector<BYTE>& bytes) {
    DataFileHeader header;
    std::copy(bytes.begin(), bytes.begin() + HDR_SIZE, header.bytes.begin());
    FUZZ_REQUIRE(header.ProgramName() == model.programName);
    FUZZ_REQUIRE(header.EntryCount() == model.entries.size());
    FUZZ_REQUIRE(header.BaseSector() == model.baseSector);
    std::uint32_t offset = 0;
    for (std::size_t i = 0; i < model.entries.size(); ++i) {
        const DataFileEntrySpec& e = model.entries[i];
        DataFileEntry entry = header.Entry(static_cast<int>(i));
        auto length = static_cast<std::uint32_t>(e.payload.size());
        FUZZ_REQUIRE(entry.InUse == e.inUse);
        FUZZ_REQUIRE(entry.Kind == e.kindByte.value_or(e.kind));
        FUZZ_REQUIRE(entry.Size == e.size.value_or(length));
        if (e.kind != ENTRY_ZERO_FILL)
            FUZZ_REQUIRE(entry.DataOffset == e.dataOffset.value_or(offset));
        if (e.kind == ENTRY_FILE) FUZZ_REQUIRE(entry.FileName == e.fileName);
        if (e.kind != ENTRY_FILE) FUZZ_REQUIRE(entry.StartSector == e.startSector);
        FUZZ_REQUIRE(
            std::equal(e.payload.begin(), e.payload.end(), bytes.begin() + HDR_SIZE + offset));
        offset += length;
    }
    FUZZ_REQUIRE(bytes.size() == HDR_SIZE + offset);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::filesystem::path manifestPath =
        std::filesystem::path(VELDRA_FUZZ_MANIFEST_DIR) / "fuzz.manifest";
    DataFileSpec model;
    try {
        model = ParseManifest(veldra::fuzz::AsText(data, size), manifestPath);
    } catch (const ManifestError&) {
        return 0;
    }
    std::vector<BYTE> bytes;
    try {
        bytes = BuildDataFile(model);
    } catch (const DataFileError&) {
        return 0;
    }
    const DataFileFaults& f = model.faults;
    if (DamagesHeader(f)) return 0;
    FUZZ_REQUIRE(Allowed(f, FindHeaderFault(bytes, bytes.size(), DATA_FILE_SIGNATURE).check));
    CheckLayout(model, bytes);
    return 0;
}
