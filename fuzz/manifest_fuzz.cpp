// Data file manifests, from text to bytes. Parsing returns or throws
// ManifestError; a parsed manifest builds or throws DataFileError; and what it
// builds passes the reader's header check unless the manifest asked for
// damage. `from` paths are taken from the example manifests' folder, so the
// examples' payload files can be found.
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

bool AsksForDamage(const DataFileSpec& model) {
    const DataFileFaults& f = model.faults;
    if (f.checksumAdd || f.entryCount || f.signature || f.truncateTo || f.dropTail) return true;
    for (const DataFileEntrySpec& e : model.entries) {
        // A zero fill's size is its ordinary length; elsewhere it overrides.
        bool sizeOverride = e.size && e.kind != ENTRY_ZERO_FILL;
        if (sizeOverride || e.dataOffset || e.kindByte) return true;
    }
    return false;
}

void CheckBuilt(const DataFileSpec& model, const std::vector<BYTE>& bytes) {
    FUZZ_REQUIRE(CheckDataFileHeader(bytes, bytes.size(), DATA_FILE_SIGNATURE) ==
                 HeaderVerdict::Valid);
    DataFileHeader header;
    std::copy(bytes.begin(), bytes.begin() + HDR_SIZE, header.bytes.begin());
    FUZZ_REQUIRE(header.ProgramName() == model.programName);
    FUZZ_REQUIRE(header.EntryCount() == model.entries.size());
    std::uint64_t payload = 0;
    for (std::size_t i = 0; i < model.entries.size(); ++i) {
        const DataFileEntrySpec& e = model.entries[i];
        DataFileEntry entry = header.Entry(static_cast<int>(i));
        FUZZ_REQUIRE(entry.Kind == e.kind);
        FUZZ_REQUIRE(entry.Size == (e.kind == ENTRY_ZERO_FILL ? *e.size : e.payload.size()));
        if (e.kind == ENTRY_FILE) FUZZ_REQUIRE(entry.FileName == e.fileName);
        payload += e.payload.size();
    }
    FUZZ_REQUIRE(bytes.size() == HDR_SIZE + payload);
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
    if (!AsksForDamage(model)) CheckBuilt(model, bytes);
    return 0;
}
