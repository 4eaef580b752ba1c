// veldra-image DATA.DAT OUT.IMG [--size BYTES] [--floppy] [--verify]: the
// medium the program creates from a data file, as an image file, made by the
// program's own Create command on a throwaway simulated machine. Exit 0 when
// the creation succeeded and OUT.IMG is written, 1 when the program refused
// the data file or the creation failed (OUT.IMG is then left as it was), 2
// for usage errors and files that cannot be read or written.
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <string>

#include "host/cp932.h"
#include "host/release.h"
#include "records/data_file_format.h"
#include "tools/image/image_run.h"
#include "tools/inspect/inspect.h"

namespace {

constexpr char kUsage[] =
    "usage: veldra-image DATA.DAT OUT.IMG [--size BYTES] [--floppy] [--verify]\n"
    "       veldra-image --version\n"
    "  the medium the data file's media kind asks for: a formatted 1.44 MB floppy,\n"
    "  or a blank USB stick of 64 MiB\n"
    "  --size BYTES  a USB stick of that size (a multiple of 512; K, M, G: binary units)\n"
    "  --floppy      a 1.44 MB floppy in a floppy drive, whatever the media kind\n"
    "  --verify      read back every step's writes (VERIFY=1 in TAVEXMEDIA.INI)\n";

int Usage(const std::string& what) {
    std::cerr << "veldra-image: " << what << "\n" << kUsage;
    return 2;
}

// BYTES, or BYTES with K, M or G after it; nullopt when it is none of them.
std::optional<std::uint64_t> ParseSize(const std::string& text) {
    std::size_t digits = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') ++digits;
    if (digits == 0 || digits > 15) return std::nullopt;
    std::uint64_t value = std::stoull(text.substr(0, digits));
    std::string unit = text.substr(digits);
    if (unit == "K") return value << 10;
    if (unit == "M") return value << 20;
    if (unit == "G") return value << 30;
    if (unit.empty()) return value;
    return std::nullopt;
}

// "progress: P/H" as a bar on the terminal's one line.
class ProgressLine {
public:
    explicit ProgressLine(bool shown) : m_shown(shown) {}
    void Line(const std::string& line) {
        if (!m_shown || line.rfind("progress: ", 0) != 0) return;
        std::size_t slash = line.find('/');
        if (slash == std::string::npos) return;
        unsigned long pos = std::stoul(line.substr(10, slash - 10));
        unsigned long high = std::stoul(line.substr(slash + 1));
        if (high == 0) return Clear();
        int filled = static_cast<int>(pos * 30 / high);
        std::printf("\r[%s%s] %lu/%lu", std::string(static_cast<std::size_t>(filled), '#').c_str(),
                    std::string(static_cast<std::size_t>(30 - filled), '.').c_str(), pos, high);
        std::fflush(stdout);
        m_drawn = true;
    }
    void Clear() {
        if (!m_drawn) return;
        std::printf("\r%*s\r", 50, "");
        std::fflush(stdout);
        m_drawn = false;
    }

private:
    bool m_shown;
    bool m_drawn = false;
};

}  // namespace

int main(int argc, char** argv) {
    using namespace veldra;
    std::vector<std::string> files;
    std::optional<std::uint64_t> size;
    bool floppy = false;
    bool verify = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        }
        if (arg == "--version") {
            std::cout << host::VersionLine("veldra-image");
            return 0;
        }
        if (arg == "--size") {
            if (i + 1 >= argc) return Usage("--size needs a value");
            size = ParseSize(argv[++i]);
            if (!size) return Usage(std::string("--size: not a size: ") + argv[i]);
        } else if (arg == "--floppy") {
            floppy = true;
        } else if (arg == "--verify") {
            verify = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return Usage("unknown option " + arg);
        } else {
            files.push_back(arg);
        }
    }
    if (files.size() != 2) return Usage("a data file and an output file, please");
    if (floppy && size) return Usage("--floppy and --size name two different media");
    // Sector numbers are 32-bit: a larger stick cannot be addressed whole.
    if (size && (*size == 0 || *size % 512 != 0 || *size > (std::uint64_t{1} << 41)))
        return Usage("--size: a multiple of 512 bytes, at most 2 TiB");

    InspectReport check = InspectDataFile(files[0]);
    if (!check.opened) {
        std::cerr << "veldra-image: cannot open " << files[0] << "\n";
        return 2;
    }
    if (!check.Accepted()) {
        // What the program shows when it lists the data file, and ends.
        std::cout << "message box [stop, OK] \"VELDRA\": \"" << check.message << "\"\n";
        std::cerr << "veldra-image: the program refuses " << files[0] << " ("
                  << HeaderCheckName(check.fault.check) << "); " << files[1]
                  << " was not written\n";
        return 1;
    }

    ImageRequest request;
    request.dataFile = files[0];
    request.output = files[1];
    bool usb = check.header->MediaKind() == MEDIA_USB;
    request.medium = floppy        ? ImageMedium::Floppy
                     : size || usb ? ImageMedium::Stick
                                   : ImageMedium::Floppy;
    if (size) request.stickBytes = *size;
    request.verify = verify;
    ProgressLine progress(::isatty(STDOUT_FILENO) == 1);
    request.onLine = [&progress](const std::string& line) { progress.Line(line); };

    ImageResult result = MakeImage(request);
    progress.Clear();
    for (const std::string& line : result.report) std::cout << line << "\n";
    if (!result.error.empty()) {
        std::cerr << "veldra-image: " << result.error << "\n";
        return 2;
    }
    if (!result.created) {
        std::cerr << "veldra-image: the creation failed; " << files[1] << " was not written\n";
        return 1;
    }
    std::cout << "wrote " << files[1] << "\n";
    return 0;
}
