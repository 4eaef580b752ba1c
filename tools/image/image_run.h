// veldra-image's work: the medium a data file makes, written by the program's
// own Create command on a throwaway simulated machine that holds nothing but
// the tool, the data file and the medium.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace veldra {

inline constexpr std::uint64_t kDefaultStickBytes = 64ull << 20;

enum class ImageMedium {
    Floppy,  // a blank formatted 1.44 MB floppy in drive A:
    Stick,   // a blank (zeroed) USB stick, at E: (B: for a floppy program)
};

struct ImageRequest {
    std::filesystem::path dataFile;
    std::filesystem::path output;
    ImageMedium medium = ImageMedium::Floppy;
    std::uint64_t stickBytes = kDefaultStickBytes;
    bool verify = false;  // VERIFY=1 in the media definition file
    // Each transcript line as the program runs (for the progress display).
    std::function<void(const std::string&)> onLine;
};

struct ImageResult {
    bool created = false;             // status 129, and OUT.IMG is in place
    std::vector<std::string> report;  // the status lines and message boxes, in order
    std::string error;                // why no run could be made, or why it stopped
};

// The data file's name as the machine lists it in its media definition file:
// its own when that has a code page 932 form, fits and is not the name of one
// of the tool's own files, else "DATA.DAT".
std::string MachineDataName(const std::filesystem::path& dataFile);

// Builds the machine, runs "create, yes, exit", answers any box that stops
// the run and runs again on a fresh medium until the run ends by itself, and
// moves the medium to request.output only when the creation succeeded.
ImageResult MakeImage(const ImageRequest& request);

}  // namespace veldra
