// machine.ini: the input becomes the description in a scratch machine
// directory (made once per run, with a folder C for drive roots), which
// LoadMachineDescription reads. It returns or throws MachineDescriptionError,
// and a description it accepts has drives whose roots are host folders.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "fuzz/fuzz_support.h"
#include "sim/machine/machine_description.h"

namespace {

namespace fs = std::filesystem;

void RemoveMachineDirectory();

// Never destroyed, so that it is still there when the directory is removed at exit.
const fs::path& MachineDirectory() {
    static const fs::path& directory = *[] {
        std::string pattern = (fs::temp_directory_path() / "veldra-fuzz-XXXXXX").string();
        if (!mkdtemp(pattern.data())) std::abort();
        fs::create_directory(fs::path(pattern) / "C");
        std::atexit(RemoveMachineDirectory);
        return new fs::path(pattern);
    }();
    return directory;
}

void RemoveMachineDirectory() {
    std::error_code ec;
    fs::remove_all(MachineDirectory(), ec);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fs::path& directory = MachineDirectory();
    {
        std::ofstream out(directory / veldra::sim::kMachineFileName,
                          std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        if (!out) std::abort();
    }
    veldra::sim::MachineConfig config;
    try {
        config = veldra::sim::LoadMachineDescription(directory);
    } catch (const veldra::sim::MachineDescriptionError&) {
        return 0;
    }
    FUZZ_REQUIRE(!config.drives.empty());
    for (const auto& [letter, drive] : config.drives) {
        FUZZ_REQUIRE(letter >= 'A' && letter <= 'Z' && drive.letter == letter);
        FUZZ_REQUIRE(drive.hostRoot.is_absolute());
        std::error_code ec;
        FUZZ_REQUIRE(fs::is_directory(drive.hostRoot, ec));
    }
    return 0;
}
